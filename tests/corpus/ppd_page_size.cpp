// Reports what the CUPS PPD API makes of each PPD named on the command line, one line per file:
// the PageSize choice marked after ppdMarkDefaults ("-" when none), 1 or 0 for whether PageSize
// offers a choice named exactly "Letter", and the TOLVMarket value ("-" when none). A file the
// parser rejects gives "unreadable".
#include <cstdio>
#include <cstring>

#include <cups/ppd.h>

// CUPS 2 marks its PPD API deprecated; it is still what print queues use to read a PPD.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

int main(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    ppd_file_t *ppd = ppdOpenFile(argv[i]);
    if (ppd == nullptr) {
      std::puts("unreadable");
      continue;
    }
    ppdMarkDefaults(ppd);
    const ppd_choice_t *marked = ppdFindMarkedChoice(ppd, "PageSize");
    const ppd_option_t *pageSize = ppdFindOption(ppd, "PageSize");
    bool letter = false;
    for (int c = 0; pageSize != nullptr && c < pageSize->num_choices; ++c) {
      letter = letter || std::strcmp(pageSize->choices[c].choice, "Letter") == 0;
    }
    const ppd_attr_t *market = ppdFindAttr(ppd, "TOLVMarket", nullptr);
    std::printf("%s %d %s\n", marked != nullptr ? marked->choice : "-", letter,
                market != nullptr && market->value != nullptr ? market->value : "-");
    ppdClose(ppd);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
