// libFuzzer target for the line copier, also run by the unit test. The first input byte picks
// Letter on or off (bit 0) and whether the output fails part-way (bit 1); the rest is the PPD text.
// The expected output is worked out from the manual page's rules, not from the tool's code.
#include "ppd_rewrite.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view Keys[] = {"*DefaultPageSize", "*DefaultPageRegion",
                                     "*DefaultImageableArea", "*DefaultPaperDimension"};

// A line is rewritten when it is whole (at most 1024 bytes, a carriage return only just before
// its line feed), begins with a key and has a ':' before any NUL byte. It keeps its ending, CR LF
// or a line feed; a last line without one ends as the line before it, `previous`, did.
std::string expectedLine(std::string_view line, std::string_view previous) {
  const std::size_t cr = line.find('\r'), colon = line.find(':');
  const bool whole =
      line.size() <= 1024 && (cr == line.npos || (line.back() == '\n' && cr + 2 == line.size()));
  const bool isKey = std::any_of(std::begin(Keys), std::end(Keys), [line](std::string_view key) {
    return line.substr(0, key.size()) == key;
  });
  if (!whole || !isKey || colon == line.npos || line.substr(0, colon).find('\0') != line.npos) {
    return std::string(line);
  }
  const std::string_view ending = line.back() == '\n' ? line : previous;
  const bool crlf = ending.size() > 1 && ending.substr(ending.size() - 2) == "\r\n";
  return std::string(line.substr(0, colon)) + (crlf ? ": Letter\r\n" : ": Letter\n");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0)
    return 0;
  const bool useLetter = data[0] & 1, failWrite = data[0] & 2;
  const std::string_view input(reinterpret_cast<const char *>(data + 1), size - 1);
  const auto violated = [&](const char *what) {
    std::fprintf(stderr, "property violated (Letter %s): %s; input: \"", useLetter ? "on" : "off",
                 what);
    for (const unsigned char c : input.substr(0, 300))
      std::fprintf(stderr, std::isprint(c) && c != '\\' ? "%c" : "\\x%02x", c);
    std::fprintf(stderr, "\"%s\n", input.size() > 300 ? "..." : "");
    std::abort();
  };

  std::string expected;
  std::string_view previous;
  for (std::size_t start = 0; start < input.size();) {
    const std::size_t end = std::min(input.find('\n', start), input.size() - 1) + 1;
    const std::string_view line = input.substr(start, end - start);
    expected += useLetter ? expectedLine(line, previous) : std::string(line);
    previous = line;
    start = end;
  }

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
          violated("written to after a failed write");
        }
        failed = output.size() + length > limit;
        return failed ? false : (output.append(bytes, length), true);
      });

  if (ok != !failed) {
    violated(ok ? "a failed write reported as success" : "failure without a failed write");
  }
  if (ok ? output != expected : expected.compare(0, output.size(), output) != 0) {
    violated("output is not the input with whole default-key lines set to Letter");
  }
  return 0;
}
