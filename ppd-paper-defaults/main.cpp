// ppd-paper-defaults: writes a PPD to standard output, its default paper keywords set to Letter
// where the market, the PPD's page sizes and the user's locale call for it.
#include "gzip_members.h"
#include "paper_policy.h"
#include "platform/release_scope.h"
#include "ppd_rewrite.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include <cups/file.h>
#include <sys/stat.h>

namespace {

constexpr int ExitSuccess = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

constexpr const char *Usage = "ppd-paper-defaults IGNORED FILE.ppd";

constexpr const char *Help =
    "Writes the PPD FILE.ppd (plain or gzip-compressed) to standard output. Its\n"
    "*DefaultPageSize, *DefaultPageRegion, *DefaultImageableArea and\n"
    "*DefaultPaperDimension lines are set to Letter when the PPD offers a Letter\n"
    "page size, is not a \"J\" market model (*TOLVMarket: J), and the locale is\n"
    "en_US or en_CA: the first of LC_ALL, LC_PAPER and LANG that is set and not\n"
    "empty, without its .codeset or @modifier. Every other byte is copied as it is.\n"
    "The first argument is not read.\n"
    "\n"
    "The PPD is read twice, so it must be a regular file, not a pipe or a device.\n"
    "\n"
    "Exit status: 0 on success, 1 when the PPD cannot be read or the output cannot\n"
    "be written, 2 on a usage error.\n";

using CupsFile = std::unique_ptr<cups_file_t, decltype(&cupsFileClose)>;

int fail(const char *path, const char *reason, const char *detail = nullptr) {
  std::fprintf(stderr, "ppd-paper-defaults: %s: %s%s%s\n", path, reason, detail ? ": " : "",
               detail ? detail : "");
  return ExitFailure;
}

// Ends a run that printed --help or --version.
int finishInfo() {
  return std::fflush(stdout) == 0 ? ExitSuccess : fail("standard output", std::strerror(errno));
}

} // namespace

int main(int argc, char *argv[]) {
  // Declared first, so that it closes last, after the PPD file, whichever way the run ends.
  const ObjectReleaseScope releaseScope;

  // --help and --version count only as the sole argument: with two or more arguments the first
  // is never read, whatever it holds.
  const std::string_view soleArgument = argc == 2 ? argv[1] : "";
  if (soleArgument == "--help" || soleArgument == "-h") {
    std::printf("Usage: %s\n%s", Usage, Help);
    return finishInfo();
  }
  if (soleArgument == "--version") {
    std::printf("ppd-paper-defaults %s\n", PPD_PAPER_DEFAULTS_VERSION);
    return finishInfo();
  }
  if (argc < 3) {
    std::fprintf(stderr, "ppd-paper-defaults: missing PPD file (usage: %s)\n", Usage);
    return ExitUsage;
  }
  const char *path = argv[2];

  // The PPD is read twice, by the PPD parser and then as text, so only a regular file will do: a
  // pipe would give the second read nothing, a FIFO with no writer would block the first open,
  // and a device such as /dev/zero never ends. stat() looks without opening.
  struct stat status {};
  if (stat(path, &status) != 0) {
    return fail(path, std::strerror(errno));
  }
  if (!S_ISREG(status.st_mode)) {
    return fail(path, S_ISDIR(status.st_mode)
                          ? std::strerror(EISDIR)
                          : "not a regular file (the PPD is read twice; save it to a file first)");
  }
  if (hasDataAfterFirstGzipMember(path)) {
    return fail(path, "gzip data goes on after its first member and would be cut short; "
                      "decompress it first");
  }

  const PPDPaperInfo info = readPPDMarketCode(path);

  const CupsFile file(cupsFileOpen(path, "r"), cupsFileClose);
  if (!file) {
    return fail(path, std::strerror(errno));
  }
  const bool useLetter = decideUseLetter(info);

  // The CUPS file layer ends the input at a read error as at end of file. A successful read or
  // write leaves errno alone, so the errno seen at the end of input tells the two apart.
  int readError = 0;
  errno = 0;
  const auto nextByte = [&file, &readError] {
    const int c = cupsFileGetChar(file.get());
    if (c < 0) {
      readError = errno;
    }
    return c;
  };
  // The output is gathered into large blocks, each written whole: a library call per line would
  // cost more than the rest of the work on the line.
  std::array<char, 64 * 1024> block;
  std::size_t used = 0;
  const auto writeBlock = [&block, &used] {
    const bool written = std::fwrite(block.data(), 1, used, stdout) == used;
    used = 0;
    return written;
  };
  const auto writeOut = [&block, &used, &writeBlock](const char *bytes, std::size_t length) {
    if (length > block.size() - used && !writeBlock()) {
      return false;
    }
    if (length > block.size()) {
      return std::fwrite(bytes, 1, length, stdout) == length;
    }
    std::memcpy(block.data() + used, bytes, length);
    used += length;
    return true;
  };
  if (!rewritePPDText(useLetter, nextByte, writeOut) || !writeBlock() || std::fflush(stdout) != 0) {
    return fail(path, "cannot write standard output", std::strerror(errno));
  }
  // A gzip stream that ended well, its CRC checked, leaves the file marked uncompressed; one that
  // is still compressed at the end was cut short or damaged.
  if (cupsFileCompression(file.get()) != CUPS_FILE_NONE) {
    return fail(path, "damaged or truncated gzip data");
  }
  if (readError != 0) {
    return fail(path, std::strerror(readError));
  }
  return ExitSuccess;
}
