// The least that a run of the tool can cost: load CUPS, open the PPD once, parse it and look up its
// market keyword, then go back to its start and copy the text. Built three times: floor-block-copy
// copies in blocks with cupsFileRead; floor-byte-copy (FLOOR_BYTE_COPY) reads byte by byte through
// cupsFileGetChar, as the tool does, into blocks written whole; floor-pass-through
// (FLOOR_PASS_THROUGH), the least that a run under a locale without Letter can cost, neither parses
// nor goes back, and copies byte by byte with cupsFileGetChar and putchar.
// Usage: floor-block-copy IGNORED FILE.ppd
#include <cstdio>

#include <cups/file.h>
#include <cups/ppd.h>

// CUPS 2 marks its PPD API deprecated, yet the tool parses with it, so the floors do too.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

int main(int argc, char *argv[]) {
  if (argc < 3) {
    return 2;
  }
  cups_file_t *file = cupsFileOpen(argv[2], "r");
  if (file == nullptr) {
    return 1;
  }
#ifndef FLOOR_PASS_THROUGH
  if (ppd_file_t *ppd = ppdOpen2(file)) {
    ppdFindAttr(ppd, "TOLVMarket", nullptr);
    ppdClose(ppd);
  }
  if (cupsFileRewind(file) != 0) {
    return 1;
  }
#endif
#if defined(FLOOR_PASS_THROUGH)
  for (int c; (c = cupsFileGetChar(file)) >= 0;) {
    std::putchar(c);
  }
#elif defined(FLOOR_BYTE_COPY)
  char block[4096];
  std::size_t count = 0;
  for (int c; (c = cupsFileGetChar(file)) >= 0;) {
    block[count++] = static_cast<char>(c);
    if (count == sizeof block) {
      std::fwrite(block, 1, count, stdout);
      count = 0;
    }
  }
  std::fwrite(block, 1, count, stdout);
#else
  char block[4096];
  for (ssize_t got; (got = cupsFileRead(file, block, sizeof block)) > 0;) {
    std::fwrite(block, 1, static_cast<std::size_t>(got), stdout);
  }
#endif
  cupsFileClose(file);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
