// The rules of the line copier written a second time, straight from the README and without the
// tool's own line judging: what the unit test and the fuzz target hold rewritePPDText to.
#pragma once

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>

// What rewritePPDText must write for `input`. With `useLetter`, a line is rewritten when it is
// whole (at most 1024 bytes, a carriage return only just before its line feed), begins with one
// of the four keys, and has a ':' before any NUL byte.
inline std::string modelRewritePPDText(std::string_view input, bool useLetter) {
  constexpr std::string_view Keys[] = {"*DefaultPageSize", "*DefaultPageRegion",
                                       "*DefaultImageableArea", "*DefaultPaperDimension"};
  std::string expected;
  for (std::size_t start = 0; start < input.size();) {
    const std::size_t end = std::min(input.find('\n', start), input.size() - 1) + 1;
    const std::string_view line = input.substr(start, end - start);
    start = end;
    const std::size_t cr = line.find('\r'), colon = line.find(':');
    const bool whole =
        line.size() <= 1024 && (cr == line.npos || (line.back() == '\n' && cr + 2 == line.size()));
    const bool isKey = std::any_of(std::begin(Keys), std::end(Keys), [line](std::string_view key) {
      return line.substr(0, key.size()) == key;
    });
    const bool rewritten = useLetter && whole && isKey && colon != line.npos &&
                           line.substr(0, colon).find('\0') == line.npos;
    expected += rewritten ? std::string(line.substr(0, colon)) + ": Letter\n" : std::string(line);
  }
  return expected;
}
