#include "paper_policy.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

void setLocale(const char *lcAll, const char *lcPaper, const char *lang) {
  const std::pair<const char *, const char *> variables[] = {
      {"LC_ALL", lcAll}, {"LC_PAPER", lcPaper}, {"LANG", lang}};
  for (const auto &[name, value] : variables) {
    value ? setenv(name, value, 1) : unsetenv(name);
  }
}

PPDPaperInfo info(const std::string &market, bool lacksLetter = false) {
  PPDPaperInfo result;
  market.copy(result.marketCode.data(), result.marketCode.size());
  result.lacksLetter = lacksLetter;
  return result;
}

} // namespace

TEST(IsSystemMetricPaperSize, ReadsTheLocaleFromTheEnvironment) {
  const struct {
    const char *lcAll, *lcPaper, *lang;
    bool letter;
  } cases[] = {
      {"en_US.UTF-8", nullptr, nullptr, true},  {nullptr, nullptr, "en_CA", true},
      {nullptr, "en_US@euro", "de_DE", true},   {"", "", "en_US.ISO-8859-1", true},
      {"de_DE.UTF-8", "en_US", "en_US", false}, {nullptr, "de_DE", "en_US", false},
      {"en_GB.UTF-8", nullptr, nullptr, false}, {"fr_CA", nullptr, nullptr, false},
      {"en", nullptr, nullptr, false},          {"en_US_POSIX", nullptr, nullptr, false},
      {"C", nullptr, "en_US", false},           {"POSIX", nullptr, nullptr, false},
      {"en_us", nullptr, nullptr, false},       {nullptr, nullptr, nullptr, false},
  };
  for (const auto &c : cases) {
    setLocale(c.lcAll, c.lcPaper, c.lang);
    EXPECT_EQ(isSystemMetricPaperSize(), c.letter)
        << (c.lcAll ? c.lcAll : "-") << " " << (c.lcPaper ? c.lcPaper : "-") << " "
        << (c.lang ? c.lang : "-");
  }
}

TEST(DecideUseLetter, CombinesMarketLetterAndLocale) {
  const struct {
    PPDPaperInfo info;
    const char *locale;
    bool letter;
  } cases[] = {
      {info("J"), "en_US", false},
      {info("W"), "en_US", true},
      {info("A"), "en_CA", true},
      {info(""), "en_US", true},
      {info("JP"), "en_US", true},
      {info("j"), "en_CA", true},
      {info(std::string(32, 'J')), "en_US", true},
      {info("W"), "en_GB", false},
      {info("W", true), "en_US", false},
  };
  for (const auto &c : cases) {
    setLocale(c.locale, nullptr, nullptr);
    EXPECT_EQ(decideUseLetter(c.info), c.letter)
        << std::string(c.info.marketCode.data(), c.info.marketCode.size()) << " " << c.locale;
  }
}

TEST(ReadPPDMarketCode, ReadsTheMarketAndWhetherLetterIsOffered) {
  const std::string longMarket(40, 'M');
  const struct {
    std::string text, market;
    bool lacksLetter;
  } cases[] = {
      {makePPD("J"), "J", false},
      {makePPD("W", false), "W", true},
      {makePPD(""), "", false},
      {makePPD(longMarket), longMarket.substr(0, 32), false},
      {"*DefaultPageSize: A4\n", "", false}, // not a PPD: the locale decides
  };
  TempDir dir;
  for (const auto &c : cases) {
    const PPDPaperInfo read = readPPDMarketCode(dir.write("in.ppd", c.text).c_str());
    EXPECT_EQ(read.marketCode, info(c.market).marketCode) << c.text;
    EXPECT_EQ(read.lacksLetter, c.lacksLetter) << c.text;
  }
  EXPECT_EQ(readPPDMarketCode("/nonexistent.ppd").marketCode, PPDMarketCode{});
}
