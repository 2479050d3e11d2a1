#include "paper_policy.h"

#include <gtest/gtest.h>

#include <string>

TEST(DecideUseLetter, NeedsALetterLocaleAndAPPDThatOffersLetter) {
  const struct {
    std::string market;
    bool lacksLetter;
    const char *lcAll, *lcPaper, *lang;
    bool letter;
  } cases[] = {
      {"W", false, "en_US.UTF-8", nullptr, nullptr, true},
      {"", false, nullptr, nullptr, "en_CA", true},
      {"A", false, nullptr, "en_US@euro", "de_DE", true},
      {"JP", false, "", "", "en_US.ISO-8859-1", true},
      {"j", false, "en_CA", nullptr, nullptr, true},
      {std::string(32, 'J'), false, "en_US", nullptr, nullptr, true},
      {"J", false, "en_US", nullptr, nullptr, false},
      {"W", true, "en_US", nullptr, nullptr, false},
      {"W", false, "de_DE.UTF-8", "en_US", "en_US", false},
      {"W", false, nullptr, "de_DE", "en_US", false},
      {"W", false, "C", nullptr, "en_US", false},
      {"W", false, nullptr, nullptr, nullptr, false},
  };
  for (const auto &c : cases) {
    PPDPaperInfo info;
    c.market.copy(info.marketCode.data(), info.marketCode.size());
    info.lacksLetter = c.lacksLetter;
    const std::pair<const char *, const char *> environment[] = {
        {"LC_ALL", c.lcAll}, {"LC_PAPER", c.lcPaper}, {"LANG", c.lang}};
    for (const auto &[name, value] : environment) {
      value ? setenv(name, value, 1) : unsetenv(name);
    }
    EXPECT_EQ(decideUseLetter(info), c.letter) << c.market << " " << (c.lcAll ? c.lcAll : "-");
  }
  for (const char *locale : {"en_GB.UTF-8", "fr_CA", "en", "en_US_POSIX", "POSIX", "en_us"}) {
    setenv("LC_ALL", locale, 1);
    EXPECT_FALSE(isSystemMetricPaperSize()) << locale;
  }
}
