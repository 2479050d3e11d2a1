#include "ppd_rewrite.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

std::string rewriteToLetter(const std::string &input) {
  std::size_t next = 0;
  std::string output;
  const bool ok = rewritePPDText(
      true, [&] { return next < input.size() ? static_cast<unsigned char>(input[next++]) : -1; },
      [&](const char *bytes, std::size_t length) { return output.append(bytes, length), true; });
  EXPECT_TRUE(ok);
  return output;
}

const std::string Key = "*DefaultPageSize: ";
const std::string Letter = "*DefaultPageSize: Letter\n";

const struct {
  std::string input, expected;
} Rewritten[] = {
    {"*DefaultPageSize: A4\n", Letter},
    {"*DefaultPageRegion:A4\n", "*DefaultPageRegion: Letter\n"},
    {"*DefaultPageSize : A4\n", "*DefaultPageSize : Letter\n"},
    {"*DefaultPageSize: A4\r\n", Letter},
    {"*DefaultPageSizeExtra: X\n", "*DefaultPageSizeExtra: Letter\n"},
    {"*DefaultPageSize: A4", Letter},
    {"*DefaultPageSize: A4\0junk\n"s, Letter},
    {"*Q: \"\n*DefaultPageSize: A4\n\"\n", "*Q: \"\n" + Letter + "\"\n"},
    {Key + std::string(1023 - Key.size(), 'x') + "\n", Letter},
    {Key + std::string(1024 - Key.size(), 'x'), Letter},
    {std::string(1024, 'x') + "*DefaultPageSize: A4\n*DefaultPageSize: B5\n",
     std::string(1024, 'x') + "*DefaultPageSize: A4\n" + Letter},
};

// Text that stays as it is even with Letter: lines without a default key or a ':', and what is
// not a whole line (text with CR line ends, stray CRs, the pieces of long lines).
const std::string Kept[] = {
    "",
    "\n",
    "*DefaultPageSize A4\n",
    "*DefaultPageSize\0: A4\n"s,
    "a\0b\n\0\0*DefaultResolution: 300dpi\r\n"s,
    "*DefaultPageSize: A4\r*DefaultPageRegion: A4\r",
    "*DefaultPageSize: A4\rB\n",
    "*DefaultPageSize: A4\r" + std::string(3000, '\r'),
    Key + std::string(1024 - Key.size(), 'x') + "\n",
    Key + std::string(5000, 'y'),
};

} // namespace

TEST(RewritePPDText, SetsWholeDefaultKeyLinesToLetter) {
  for (const auto &c : Rewritten) {
    EXPECT_EQ(rewriteToLetter(c.input), c.expected) << c.input;
  }
  for (const auto &input : Kept) {
    EXPECT_EQ(rewriteToLetter(input), input) << input;
  }
}
