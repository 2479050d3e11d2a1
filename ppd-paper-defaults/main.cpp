// ppd-paper-defaults: writes a PPD to standard output, its default paper keywords set to Letter
// where the market, the PPD's page sizes and the user's locale call for it. This file is the run.
#include "messages.h"
#include "paper_policy.h"
#include "platform/release_scope.h"
#include "ppd_input.h"
#include "ppd_rewrite.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

namespace {

constexpr const char *Usage = "ppd-paper-defaults IGNORED FILE.ppd";
constexpr const char *InfoUsage = "ppd-paper-defaults --help | -h | --version";

constexpr const char *Help =
    "Writes the PPD FILE.ppd (plain or gzip-compressed) to standard output, its default paper set\n"
    "to Letter when the locale is en_US or en_CA, the PPD offers a Letter page size and it is not\n"
    "a \"J\" market model. The first argument is not read. FILE.ppd must be a regular file.\n"
    "\n"
    "Exit status: 0 on success, 1 when the PPD cannot be read or the output cannot be written,\n"
    "2 on a usage error. The manual page, ppd-paper-defaults(1), gives the exact rules.\n";

// Answers a run that names no PPD: --help, -h or --version as the sole argument (with two or more
// the first is never read, whatever it holds), or too few arguments. Returns the exit status, or
// nothing when there is a PPD to copy.
std::optional<int> answerWithoutPPD(int argc, char *argv[]) {
  const std::string_view soleArgument = argc == 2 ? argv[1] : "";
  if (soleArgument == "--help" || soleArgument == "-h") {
    std::printf("Usage: %s\n       %s\n\n%s", Usage, InfoUsage, Help);
  } else if (soleArgument == "--version") {
    std::printf("ppd-paper-defaults %s\nLicensed under the Apache License, Version 2.0.\n",
                PPD_PAPER_DEFAULTS_VERSION);
  } else if (argc < 3) {
    std::fprintf(stderr, "ppd-paper-defaults: %s (usage: %s)\n",
                 argc < 2 ? "missing PPD file"
                          : "the PPD file is the second argument; the first is not read",
                 Usage);
    return ExitUsage;
  } else {
    return std::nullopt;
  }
  return closeStandardOutput() ? ExitSuccess : fail("standard output", std::strerror(errno));
}

// ENOMEM after the parser's pass is only a hint: malloc leaves it after a brk that failed also
// where mmap then gave it the memory. So the text of a PPD that the parser read is counted, and the
// run fails only where the parser kept another number of the lines that the decision rests on, or
// rejected the file.
const char *checkWhatTheParserKept(PPDInput &input, const PPDPaperInfo &info) {
  if (!info.parsed) {
    return std::strerror(ENOMEM);
  }
  if (const char *problem = input.rewind()) {
    return problem;
  }
  errno = 0;
  const PPDPaperCounts inText = countPPDPaperLines(input.file());
  if (const char *problem = input.readProblem(errno)) {
    return problem;
  }
  return inText == info.kept ? nullptr : std::strerror(ENOMEM);
}

// The parser's pass, for a run whose locale uses Letter, then back to the first byte for the copy.
// Sets `useLetter` to what the PPD allows, or returns why the run fails.
const char *askParser(PPDInput &input, bool &useLetter) {
  // errno, cleared first, names a read that failed, or an allocation (ENOMEM) that the parser may
  // have passed over, so that the decision would rest on half a PPD.
  errno = 0;
  const PPDPaperInfo info = readPPDMarketCode(input.file());
  const int error = errno;
  if (const char *problem =
          error == ENOMEM ? checkWhatTheParserKept(input, info) : input.readProblem(error)) {
    return problem;
  }
  useLetter = decideUseLetter(info);
  return input.rewind();
}

} // namespace

int main(int argc, char *argv[]) {
  // Declared first, so that it closes last, after the PPD file, whichever way the run ends.
  const ObjectReleaseScope releaseScope;
  setUpStandardStreams();

  if (const std::optional<int> status = answerWithoutPPD(argc, argv)) {
    return *status;
  }
  const char *path = argv[2];
  PPDInput input;
  if (const char *problem = input.open(path)) {
    return fail(path, problem);
  }

  // The locale first: where it rules Letter out, the output is the input whatever the PPD holds,
  // so the parser's pass, and every failure that only it could meet, is left out.
  bool useLetter = isSystemMetricPaperSize();
  if (const char *problem = useLetter ? askParser(input, useLetter) : nullptr) {
    return fail(path, problem);
  }

  // The copy. A failed read's errno is kept before a write of what came before can change it.
  errno = 0;
  int readError = 0;
  const bool written = rewritePPDText(
      useLetter,
      [file = input.file(), &readError] {
        const int c = cupsFileGetChar(file);
        if (c < 0) {
          readError = errno;
        }
        return c;
      },
      [](const char *bytes, std::size_t length) {
        return std::fwrite(bytes, 1, length, stdout) == length;
      });
  if (!written || !closeStandardOutput()) {
    return fail(path, "cannot write standard output", std::strerror(errno));
  }
  // A read that ended the copy early, then a change that the copy may have mixed in, fail the run.
  if (const char *problem = input.readProblem(readError)) {
    return fail(path, problem);
  }
  if (const char *problem = input.changeProblem()) {
    return fail(path, problem);
  }
  return ExitSuccess;
}
