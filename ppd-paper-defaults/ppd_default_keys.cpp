#include "ppd_default_keys.h"

namespace {

// strncmp(key, line, strlen(key)) in a single pass: compares the key with the start of the line,
// byte values unsigned; a NUL in the line ends it early.
int compareKeyWithLine(const char *key, const char *line) {
  for (; *key != '\0'; ++key, ++line) {
    if (*key != *line) {
      return static_cast<unsigned char>(*key) - static_cast<unsigned char>(*line);
    }
  }
  return 0;
}

} // namespace

PPDDefaultKeyType getPPDDefaultKeyType(const char *line) {
  if (compareKeyWithLine(PPDDefaultKeyPrefix, line) != 0) {
    return PPDKeyNone;
  }
  std::int32_t lo = -1;
  std::int32_t hi = static_cast<std::int32_t>(PPDDefaultKeys.size());
  while (hi - lo > 1) {
    const std::int32_t mid = (lo + hi) / 2;
    const int order = compareKeyWithLine(PPDDefaultKeys[mid].key, line);
    if (order == 0) {
      return PPDDefaultKeys[mid].type;
    }
    (order < 0 ? lo : hi) = mid;
  }
  return PPDKeyNone;
}
