#include "ppd_rewrite.h"
#include "ppd_rewrite_model.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

std::string rewrite(const std::string &input, bool useLetter) {
  std::size_t next = 0;
  std::string output;
  EXPECT_TRUE(rewritePPDText(
      useLetter,
      [&] { return next < input.size() ? static_cast<unsigned char>(input[next++]) : -1; },
      [&](const char *bytes, std::size_t length) { return output.append(bytes, length), true; }));
  return output;
}

const std::string Key = "*DefaultPageSize: ";

// Text that reaches each rule of the line copier, beyond the PPD of the end-to-end tests.
const std::string Inputs[] = {
    // Lines that are rewritten to Letter.
    "*DefaultPageSize : A4\n",
    "*DefaultPageSizeExtra: X\n",
    "*DefaultPageSize: A4\0junk\n"s,
    Key + std::string(1023 - Key.size(), 'x') + "\n",
    std::string(1024, 'x') + "*DefaultPageSize: A4\n*DefaultPageSize: B5\n",
    // Lines that begin with no key, or have no ':' before a NUL byte.
    "*DefaultResolution: 600dpi\n",
    "*DefaultPage\n",
    "*defaultpagesize: A4\n",
    " *DefaultPageSize: A4\n",
    "*DefaultPageSize A4\n",
    "*DefaultPageSize\0: A4\n"s,
    // What is not a whole line: text with CR line ends, stray CRs, the pieces of long lines.
    "*DefaultPageSize: A4\r*DefaultPageRegion: A4\r",
    "*DefaultPageSize: A4\rB\n",
    Key + std::string(1024 - Key.size(), 'x') + "\n",
};

} // namespace

TEST(RewritePPDText, WritesTheTextAsTheRulesSay) {
  for (const std::string &input : Inputs) {
    EXPECT_EQ(rewrite(input, false), input) << input;
    EXPECT_EQ(rewrite(input, true), modelRewritePPDText(input, true)) << input;
  }
}
