// The copy of a PPD's text, with its default paper keywords set to Letter. Free of I/O: the
// bytes come from a callable and go to another, so the same code serves files, tests and fuzzing.
#pragma once

#include <cstddef>
#include <string_view>

// The most bytes judged as one line; a longer line passes through in pieces of this size.
inline constexpr int PPDLineSize = 1024;

// What follows the kept text of a rewritten line.
inline constexpr std::string_view PPDLetterValue = ": Letter\n";

inline constexpr std::size_t PPDLineUnchanged = std::string_view::npos;

// Judges one whole line of `length` bytes, held NUL-terminated in `line`. Returns how many of its
// bytes to keep before PPDLetterValue when it is rewritten (the text before its first ':'), or
// PPDLineUnchanged when it is to be written as it stands.
std::size_t getPPDLetterCut(const char *line, std::size_t length);

// Copies the text from `nextByte` (a byte value, or -1 at the end of input) to
// `write(const char *, std::size_t)`, which returns false when it fails. With `useLetter`, each
// whole line that begins with a default paper keyword is rewritten to Letter; every other byte
// passes as it is, NUL bytes and a final line without a line feed included. Only a whole line is
// judged: one that starts a line and ends with its line feed, or at the end of input, within
// PPDLineSize bytes. Returns false as soon as a write fails.
template <typename NextByte, typename Write>
bool rewritePPDText(bool useLetter, NextByte &&nextByte, Write &&write) {
  char lineBuffer[PPDLineSize + 1];
  bool atLineStart = true;
  for (int c = nextByte(); c >= 0;) {
    // Gather a line, or a piece of PPDLineSize bytes of a longer one.
    std::size_t count = 0;
    lineBuffer[count++] = static_cast<char>(c);
    while (c != '\n' && count < PPDLineSize && (c = nextByte()) >= 0) {
      lineBuffer[count++] = static_cast<char>(c);
    }
    if (c >= 0) {
      c = nextByte(); // one byte ahead, to know whether this piece ends the input
    }
    const bool lineEnds = lineBuffer[count - 1] == '\n' || c < 0;
    std::size_t cut = PPDLineUnchanged;
    if (useLetter && atLineStart && lineEnds && lineBuffer[0] == '*') {
      lineBuffer[count] = '\0';
      cut = getPPDLetterCut(lineBuffer, count);
    }
    const bool written =
        cut == PPDLineUnchanged
            ? write(lineBuffer, count)
            : write(lineBuffer, cut) && write(PPDLetterValue.data(), PPDLetterValue.size());
    if (!written) {
      return false;
    }
    atLineStart = lineBuffer[count - 1] == '\n';
  }
  return true;
}
