// The four default paper keywords of a PPD, and how a line is matched against them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

enum PPDDefaultKeyType : std::int32_t {
  PPDKeyNone = 0,
  PPDKeyImageableArea = 1,
  PPDKeyPageRegion = 2,
  PPDKeyPageSize = 3,
  PPDKeyPaperDimension = 4,
};

struct PPDDefaultKey {
  PPDDefaultKeyType type;
  const char *key;
};

// Sorted in ascending byte order of their keys: the lookup is a binary search.
inline constexpr std::array<PPDDefaultKey, 4> PPDDefaultKeys{{
    {PPDKeyImageableArea, "*DefaultImageableArea"},
    {PPDKeyPageRegion, "*DefaultPageRegion"},
    {PPDKeyPageSize, "*DefaultPageSize"},
    {PPDKeyPaperDimension, "*DefaultPaperDimension"},
}};

constexpr bool arePPDDefaultKeysSorted() {
  for (std::size_t i = 1; i < PPDDefaultKeys.size(); ++i) {
    if (std::string_view(PPDDefaultKeys[i - 1].key) >= std::string_view(PPDDefaultKeys[i].key)) {
      return false;
    }
  }
  return true;
}
static_assert(arePPDDefaultKeysSorted(), "getPPDDefaultKeyType searches the keys in byte order");

// What every key begins with. Most lines of a PPD do not, and the lookup turns them away at once.
inline constexpr const char *PPDDefaultKeyPrefix = "*Default";

constexpr bool doPPDDefaultKeysBeginWithPrefix() {
  for (const PPDDefaultKey &entry : PPDDefaultKeys) {
    if (std::string_view(entry.key).substr(0, std::string_view(PPDDefaultKeyPrefix).size()) !=
        PPDDefaultKeyPrefix) {
      return false;
    }
  }
  return true;
}
static_assert(doPPDDefaultKeysBeginWithPrefix(), "getPPDDefaultKeyType checks the prefix first");

// The key that `line` (NUL-terminated) begins with, or PPDKeyNone. Only the start of the line is
// compared, so "*DefaultPageSizeExtra: X" is a PPDKeyPageSize line.
PPDDefaultKeyType getPPDDefaultKeyType(const char *line);
