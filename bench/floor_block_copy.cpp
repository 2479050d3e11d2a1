// The least that a run of the tool can cost: load CUPS, parse the PPD once and look up its market
// keyword, then copy the text in blocks. Usage: floor-block-copy IGNORED FILE.ppd
#include <cstdio>

#include <cups/file.h>
#include <cups/ppd.h>

// CUPS 2 marks its PPD API deprecated, yet the tool parses with it, so the floor does too.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

int main(int argc, char *argv[]) {
  if (argc < 3) {
    return 2;
  }
  if (ppd_file_t *ppd = ppdOpenFile(argv[2])) {
    ppdFindAttr(ppd, "TOLVMarket", nullptr);
    ppdClose(ppd);
  }
  cups_file_t *file = cupsFileOpen(argv[2], "r");
  if (file == nullptr) {
    return 1;
  }
  char block[4096];
  for (ssize_t got; (got = cupsFileRead(file, block, sizeof block)) > 0;) {
    std::fwrite(block, 1, static_cast<std::size_t>(got), stdout);
  }
  cupsFileClose(file);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
