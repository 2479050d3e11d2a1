// The line copier on text that reaches each of its rules, beyond the PPD of the end-to-end test.
// The fuzz target checks each output against the rules: with Letter off and on, and with the
// output failing part-way. A broken rule aborts with the property and the input.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

using namespace std::string_literals;

const std::string Key = "*DefaultPageSize: ";

const std::string Inputs[] = {
    // Lines that are rewritten to Letter.
    "*DefaultPageSize : A4\n",
    "*DefaultPageSizeExtra: X:Y\n",
    "*DefaultPageSize: A4\0junk\n"s,
    Key + std::string(1023 - Key.size(), 'x') + "\n",
    std::string(1024, 'x') + "*DefaultPageSize: A4\n*DefaultPageSize: B5\n",
    "*DefaultPageSize  : A4\n*DefaultPageSize\n", // no ':' in the second line, none left over
    // Lines that begin with no key, or have no ':' before a NUL byte.
    "*DefaultResolution: 600dpi\n",
    "*DefaultPage: A4\n",
    "*defaultpagesize: A4\n",
    " *DefaultPageSize: A4\n",
    "*DefaultPageSize\0: A4\n"s,
    // What is not a whole line: text with CR line ends, stray CRs, the pieces of long lines.
    "*DefaultPageSize: A4\r*DefaultPageRegion: A4\r",
    "*DefaultPageSize: A4\rB\n*DefaultPageSize: A4\0\rB\n*DefaultPageSize: A4\rB"s,
    Key + std::string(1024 - Key.size(), 'x') + "\n",
};

} // namespace

TEST(RewritePPDText, WritesTheTextAsTheRulesSay) {
  for (const std::string &input : Inputs) {
    for (const char mode : {0, 1, 2, 3}) {
      const std::string data = mode + input;
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(data.data()), data.size());
    }
  }
}
