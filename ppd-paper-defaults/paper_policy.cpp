#include "paper_policy.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <cups/ppd.h>

// CUPS 2 marks its PPD API deprecated, yet it is the only way to read a PPD's attributes and
// options. This is the one file that uses it.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

using PPDFile = std::unique_ptr<ppd_file_t, decltype(&ppdClose)>;

bool offersLetterPageSize(ppd_file_t *ppd) {
  const ppd_option_t *pageSize = ppdFindOption(ppd, "PageSize");
  if (pageSize == nullptr) {
    return false;
  }
  // ppdFindChoice ignores case; the default keywords are written as "Letter" exactly.
  return std::any_of(pageSize->choices, pageSize->choices + pageSize->num_choices,
                     [](const ppd_choice_t &c) { return std::strcmp(c.choice, "Letter") == 0; });
}

} // namespace

PPDPaperInfo readPPDMarketCode(cups_file_t *file) {
  PPDPaperInfo info;
  const PPDFile ppd(ppdOpen2(file), ppdClose);
  if (!ppd) {
    return info;
  }
  const ppd_attr_t *market = ppdFindAttr(ppd.get(), PPDMarketKey, nullptr);
  if (market != nullptr && market->value != nullptr && market->value[0] != '\0') {
    // strncpy into the zero-filled field: at most 32 bytes, with no NUL when the value fills it.
    std::memcpy(info.marketCode.data(), market->value,
                strnlen(market->value, info.marketCode.size()));
  }
  info.lacksLetter = !offersLetterPageSize(ppd.get());
  return info;
}

bool decideUseLetter(const PPDPaperInfo &info) {
  if (std::strncmp(info.marketCode.data(), PPDMarketJ, info.marketCode.size()) == 0) {
    return false;
  }
  return !info.lacksLetter;
}
