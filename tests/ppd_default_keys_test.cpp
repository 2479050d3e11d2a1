#include "ppd_default_keys.h"

#include <gtest/gtest.h>

TEST(GetPPDDefaultKeyType, MatchesAKeyAtTheStartOfTheLine) {
  const std::pair<const char *, PPDDefaultKeyType> cases[] = {
      {"*DefaultImageableArea: A4\n", PPDKeyImageableArea},
      {"*DefaultPageRegion: A4\n", PPDKeyPageRegion},
      {"*DefaultPageSize: A4\n", PPDKeyPageSize},
      {"*DefaultPaperDimension: A4\n", PPDKeyPaperDimension},
      {"*DefaultPageSizeExtra: X\n", PPDKeyPageSize},
      {"*DefaultPageSize", PPDKeyPageSize},
      {"*DefaultResolution: 600dpi\n", PPDKeyNone},
      {"*%DefaultPageSize: A4\n", PPDKeyNone},
      {"*DefaultPage\n", PPDKeyNone},
      {"*defaultpagesize: A4\n", PPDKeyNone},
      {" *DefaultPageSize: A4\n", PPDKeyNone},
      {"", PPDKeyNone},
  };
  for (const auto &[line, type] : cases) {
    EXPECT_EQ(getPPDDefaultKeyType(line), type) << line;
  }
}
