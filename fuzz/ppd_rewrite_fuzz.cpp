// libFuzzer target for the line copier. The first input byte picks Letter on or off (bit 0) and
// whether the output fails part-way (bit 1); the rest is the PPD text, which must come out as the
// model of the rules says.
#include "ppd_rewrite.h"
#include "ppd_rewrite_model.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void violated(const char *what, bool useLetter) {
  std::fprintf(stderr, "property violated (Letter %s): %s\n", useLetter ? "on" : "off", what);
  std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const bool useLetter = data[0] & 1, failWrite = data[0] & 2;
  const std::string_view input(reinterpret_cast<const char *>(data + 1), size - 1);
  const std::string expected = modelRewritePPDText(input, useLetter);

  // With failWrite, the write that would take the output past half the expected size fails.
  const std::size_t limit = failWrite ? expected.size() / 2 : expected.npos;
  std::size_t next = 0;
  std::string output;
  bool failed = false;
  const bool ok = rewritePPDText(
      useLetter,
      [&] { return next < input.size() ? static_cast<unsigned char>(input[next++]) : -1; },
      [&](const char *bytes, std::size_t length) {
        if (failed) {
          violated("written to after a failed write", useLetter);
        }
        failed = output.size() + length > limit;
        return failed ? false : (output.append(bytes, length), true);
      });

  if (ok != !failed) {
    violated(ok ? "a failed write reported as success" : "failure without a failed write",
             useLetter);
  }
  if (ok ? output != expected : expected.compare(0, output.size(), output) != 0) {
    violated("output is not the input with whole default-key lines set to Letter", useLetter);
  }
  return 0;
}
