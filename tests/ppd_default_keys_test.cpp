#include "ppd_default_keys.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(PPDDefaultKeys, SortedAndFreeOfSeparators) {
  // The binary search relies on the byte order of the keys.
  for (std::size_t i = 0; i < PPDDefaultKeys.size(); ++i) {
    EXPECT_EQ(PPDDefaultKeys[i].key[0], '*');
    EXPECT_EQ(std::strpbrk(PPDDefaultKeys[i].key, ": \t"), nullptr);
    if (i > 0) {
      EXPECT_LT(std::strcmp(PPDDefaultKeys[i - 1].key, PPDDefaultKeys[i].key), 0);
    }
  }
}

TEST(GetPPDDefaultKeyType, MatchesKeysAtTheStartOfTheLine) {
  const struct {
    const char *line;
    PPDDefaultKeyType type;
  } cases[] = {
      {"*DefaultImageableArea: A4\n", PPDKeyImageableArea},
      {"*DefaultPageRegion: A4\n", PPDKeyPageRegion},
      {"*DefaultPageSize: A4\n", PPDKeyPageSize},
      {"*DefaultPaperDimension: A4\n", PPDKeyPaperDimension},
      {"*DefaultPageSizeExtra: X\n", PPDKeyPageSize},
      {"*DefaultPageSize", PPDKeyPageSize},
      {"*DefaultResolution: 600dpi\n", PPDKeyNone},
      {"*PageSize A4: \"\"\n", PPDKeyNone},
      {"*%DefaultPageSize: A4\n", PPDKeyNone},
      {"*DefaultPage\n", PPDKeyNone},
      {"*DefaultPap", PPDKeyNone},
      {"*DefaultZ: A4\n", PPDKeyNone},
      {"*defaultpagesize: A4\n", PPDKeyNone},
      {" *DefaultPageSize: A4\n", PPDKeyNone},
      {"\n", PPDKeyNone},
      {"", PPDKeyNone},
      {"*Default\xff", PPDKeyNone},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(getPPDDefaultKeyType(c.line), c.type) << c.line;
  }
}
