// The copy of a PPD's text, with its default paper keywords set to Letter. Free of I/O: the
// bytes come from a callable and go to another, so the same code serves files, tests and fuzzing.
#pragma once

#include <cstddef>
#include <string_view>

// The most bytes judged as one line; a longer line passes through in pieces of this size.
inline constexpr int PPDLineSize = 1024;

// What follows the kept text of a rewritten line, which keeps its own line ending: CR LF where it
// ended with CR LF, a line feed otherwise. A last line without an ending takes that of the line
// before it, so that a CR LF file stays CR LF.
inline constexpr std::string_view PPDLetterValue = ": Letter\n";
inline constexpr std::string_view PPDLetterValueCRLF = ": Letter\r\n";

inline constexpr std::size_t PPDLineUnchanged = std::string_view::npos;

// Judges one whole line of `length` bytes, held NUL-terminated in `line`. Returns how many of its
// bytes to keep before the Letter value when it is rewritten (the text before its first ':'), or
// PPDLineUnchanged when it is to be written as it stands.
std::size_t getPPDLetterCut(const char *line, std::size_t length);

// Lines that pass unchanged are gathered into runs of this many bytes, shorter only before a
// rewritten line and at the end: a write per line would cost more than the rest of the work on it.
inline constexpr std::size_t PPDRunSize = 4096;

// Copies the text from `nextByte` (a byte value, or -1 at the end of input) to
// `write(const char *, std::size_t)`, which returns false when it fails. With `useLetter`, each
// whole line that begins with a default paper keyword is rewritten to Letter; every other byte
// passes as it is, NUL bytes and a final line without a line feed included. Only a whole line is
// judged: one that starts a line and ends with its line feed, or at the end of input, within
// PPDLineSize bytes (getPPDLetterCut says the rest). Returns false as soon as a write fails.
template <typename NextByte, typename Write>
bool rewritePPDText(bool useLetter, NextByte nextByte, Write &&write) {
  char run[PPDRunSize + PPDLineSize + 1];
  std::size_t used = 0; // bytes of the run before the current line, not yet written
  bool atLineStart = true;
  bool crlf = false;    // the last line feed so far came just after a carriage return
  char previous = '\0'; // the last byte of the piece before
  for (int c = nextByte(); c >= 0;) {
    // Gather a line, or a piece of PPDLineSize bytes of a longer one, after the run.
    char *const line = run + used;
    std::size_t count = 0;
    line[count++] = static_cast<char>(c);
    while (c != '\n' && count < PPDLineSize && (c = nextByte()) >= 0) {
      line[count++] = static_cast<char>(c);
    }
    if (c >= 0) {
      c = nextByte(); // one byte ahead, to know whether this piece ends the input
    }
    const char last = line[count - 1];
    const bool whole = atLineStart && (last == '\n' || c < 0);
    atLineStart = last == '\n';
    if (last == '\n') {
      crlf = (count > 1 ? line[count - 2] : previous) == '\r';
    }
    previous = last;
    std::size_t cut = PPDLineUnchanged;
    if (useLetter && whole && line[0] == '*') {
      line[count] = '\0';
      cut = getPPDLetterCut(line, count);
    }
    if (cut != PPDLineUnchanged) {
      // A line that is rewritten holds a carriage return only just before its line feed; one
      // without a line feed ends the text, and `crlf` still says how the line before it ended.
      const std::string_view value = crlf ? PPDLetterValueCRLF : PPDLetterValue;
      if (!write(run, used + cut) || !write(value.data(), value.size())) {
        return false;
      }
      used = 0;
    } else if ((used += count) >= PPDRunSize || c < 0) {
      if (!write(run, used)) {
        return false;
      }
      used = 0;
    }
  }
  return true;
}
