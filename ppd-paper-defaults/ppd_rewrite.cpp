#include "ppd_rewrite.h"

#include "ppd_default_keys.h"

#include <cstring>

std::size_t getPPDLetterCut(const char *line, std::size_t length) {
  if (getPPDDefaultKeyType(line) == PPDKeyNone) {
    return PPDLineUnchanged;
  }
  // A carriage return may only end the line, just before its line feed. Anywhere else the piece
  // is not one line (old Mac text ends lines with CR alone) and rewriting it would lose text.
  if (const void *cr = std::memchr(line, '\r', length)) {
    const std::size_t at = static_cast<const char *>(cr) - line;
    if (at + 2 != length || line[length - 1] != '\n') {
      return PPDLineUnchanged;
    }
  }
  const char *colon = std::strchr(line, ':'); // the text ends at the first NUL
  return colon ? static_cast<std::size_t>(colon - line) : PPDLineUnchanged;
}
