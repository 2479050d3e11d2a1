// The one-line failure message, with the file name quoted as a shell reads $'...' where a terminal
// would not show it as it is, and the buffers and the closing of standard output.
#include "messages.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <utility>

namespace {

// Characters that a terminal or a log viewer shows otherwise than they are: the line and paragraph
// separators, which break the line, and the bidirectional controls, which reorder the text.
constexpr std::pair<char32_t, char32_t> HiddenCharacters[] = {
    {0x061c, 0x061c}, {0x200e, 0x200f}, {0x2028, 0x202e}, {0x2066, 0x2069}};

// How many bytes of `s` make one character that a terminal shows as it is: 1 for printable ASCII,
// 2 to 4 for any other UTF-8 character in its shortest form, but for C1 controls (U+0080 to
// U+009F, which some terminals obey as they obey ESC), UTF-16 surrogates and the characters above;
// 0 for anything else, a control character or a byte that starts no such character.
std::size_t getPrintableLength(const unsigned char *s) {
  if (s[0] < 0x80) {
    return s[0] >= 0x20 && s[0] != 0x7f ? 1 : 0;
  }
  const std::size_t length = s[0] < 0xc2   ? 0
                             : s[0] < 0xe0 ? 2
                             : s[0] < 0xf0 ? 3
                             : s[0] < 0xf5 ? 4
                                           : 0;
  if (length == 0) {
    return 0;
  }
  char32_t c = s[0] & (0x7f >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((s[i] & 0xc0) != 0x80) { // a NUL too ends the character short
      return 0;
    }
    c = c << 6 | (s[i] & 0x3f);
  }
  constexpr char32_t Shortest[] = {0, 0, 0x80, 0x800, 0x10000}; // the least for each length
  const bool hidden =
      std::any_of(std::begin(HiddenCharacters), std::end(HiddenCharacters),
                  [c](const auto &range) { return c >= range.first && c <= range.second; });
  return c < Shortest[length] || c <= 0x9f || (c >= 0xd800 && c <= 0xdfff) || c > 0x10ffff || hidden
             ? 0
             : length;
}

// Writes `name` to standard error as it goes into a one-line message: as it is, unless it is empty
// or holds a character that getPrintableLength refuses (a line feed, an escape code that a terminal
// would obey, a byte that is not UTF-8); then quoted as a shell reads $'...'.
void writeName(const char *name) {
  const auto *bytes = reinterpret_cast<const unsigned char *>(name);
  std::size_t plain = 0; // the bytes before the first that has to be quoted
  while (const std::size_t length = getPrintableLength(bytes + plain)) {
    plain += length;
  }
  if (name[plain] == '\0') {
    std::fputs(plain == 0 ? "''" : name, stderr);
    return;
  }
  std::fputs("$'", stderr);
  for (const unsigned char *c = bytes; *c != '\0';) {
    const int length = static_cast<int>(getPrintableLength(c));
    if (length == 0 && *c == '\n') {
      std::fputs("\\n", stderr);
    } else if (length == 0) {
      std::fprintf(stderr, "\\%03o", *c);
    } else {
      std::fprintf(stderr, *c == '\\' || *c == '\'' ? "\\%.*s" : "%.*s", length, c);
    }
    c += length == 0 ? 1 : length;
  }
  std::fputs("'", stderr);
}

} // namespace

int fail(const char *name, const char *reason, const char *detail) {
  std::fputs("ppd-paper-defaults: ", stderr);
  writeName(name);
  std::fprintf(stderr, ": %s%s%s\n", reason, detail ? ": " : "", detail ? detail : "");
  return ExitFailure;
}

void setUpStandardStreams() {
  // glibc takes the size only together with the storage.
  static char outputBuffer[64 * 1024];
  std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
  static char errorBuffer[BUFSIZ];
  std::setvbuf(stderr, errorBuffer, _IOLBF, sizeof errorBuffer);
}

bool closeStandardOutput() {
  return std::fclose(stdout) == 0;
}
