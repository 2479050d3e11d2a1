#include "paper_policy.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include <cups/ppd.h>

// CUPS 2 marks its PPD API deprecated, yet it is the only way to read a PPD's attributes and
// options. This is the one file that uses it.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

using PPDFile = std::unique_ptr<ppd_file_t, decltype(&ppdClose)>;

constexpr std::string_view Letter = "Letter";

// The parser rejects a PPD with a longer line, so that a keyword and a choice's name lie within it.
constexpr std::size_t PPDLineLimit = 256;

// Where the parser ends a main keyword, and the name of an option's choice: at a blank (line
// endings are not in a line), at the colon before the value, and for the name at its translation.
constexpr std::string_view Blanks = " \t\v\f", KeywordEnds = ": \t\v\f", NameEnds = ":/ \t\v\f";

// The parser looks attributes and options up without regard to ASCII case.
bool isKeyword(std::string_view word, std::string_view keyword) {
  return std::equal(word.begin(), word.end(), keyword.begin(), keyword.end(), [](char a, char b) {
    return (a >= 'A' && a <= 'Z' ? a + 32 : a) == (b >= 'A' && b <= 'Z' ? b + 32 : b);
  });
}

// Counts one line, its ending left out, where the parser may take it for a market keyword or for
// a PageSize choice named "Letter".
void countPPDPaperLine(std::string_view line, PPDPaperCounts &counts) {
  if (line.empty() || line[0] != '*') {
    return;
  }
  // string_view's substr would throw, and bring in the C++ runtime, which the tool does without.
  line.remove_prefix(1);
  const std::string_view keyword(line.data(),
                                 std::min(line.find_first_of(KeywordEnds), line.size()));
  if (isKeyword(keyword, PPDMarketKey)) {
    ++counts.marketKeywords;
    return;
  }
  // A choice: its name follows the keyword after blanks.
  line.remove_prefix(keyword.size());
  const std::size_t blanks = std::min(line.find_first_not_of(Blanks), line.size());
  line.remove_prefix(blanks);
  const std::string_view name(line.data(), std::min(line.find_first_of(NameEnds), line.size()));
  if (blanks > 0 && isKeyword(keyword, "PageSize") && name == Letter) {
    ++counts.letterPageSizes;
  }
}

} // namespace

PPDPaperInfo readPPDMarketCode(cups_file_t *file) {
  PPDPaperInfo info;
  const PPDFile ppd(ppdOpen2(file), ppdClose);
  if (!ppd) {
    return info;
  }
  info.parsed = true;
  const ppd_attr_t *market = ppdFindAttr(ppd.get(), PPDMarketKey, nullptr);
  if (market != nullptr && market->value != nullptr && market->value[0] != '\0') {
    // strncpy into the zero-filled field: at most 32 bytes, with no NUL when the value fills it.
    std::memcpy(info.marketCode.data(), market->value,
                strnlen(market->value, info.marketCode.size()));
  }
  for (; market != nullptr; market = ppdFindNextAttr(ppd.get(), PPDMarketKey, nullptr)) {
    ++info.kept.marketKeywords;
  }
  // ppdFindChoice ignores case; the default keywords are written as "Letter" exactly.
  if (const ppd_option_t *pageSize = ppdFindOption(ppd.get(), "PageSize")) {
    info.kept.letterPageSizes = static_cast<std::size_t>(
        std::count_if(pageSize->choices, pageSize->choices + pageSize->num_choices,
                      [](const ppd_choice_t &c) { return c.choice == Letter; }));
  }
  return info;
}

PPDPaperCounts countPPDPaperLines(cups_file_t *file) {
  // Lines end as the parser ends them, at a carriage return or a line feed, and like the parser
  // this drops the byte 0x1a (Control-Z) wherever it stands.
  PPDPaperCounts counts;
  char line[PPDLineLimit];
  std::size_t length = 0;
  for (int c; (c = cupsFileGetChar(file)) >= 0;) {
    if (c == '\r' || c == '\n') {
      countPPDPaperLine({line, length}, counts);
      length = 0;
    } else if (c != 0x1a && length < sizeof line) {
      line[length++] = static_cast<char>(c);
    }
  }
  countPPDPaperLine({line, length}, counts);
  return counts;
}

bool decideUseLetter(const PPDPaperInfo &info) {
  const bool marketJ =
      std::strncmp(info.marketCode.data(), PPDMarketJ, info.marketCode.size()) == 0;
  const bool lacksLetter = info.parsed && info.kept.letterPageSizes == 0;
  return !marketJ && !lacksLetter;
}
