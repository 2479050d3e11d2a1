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
#include <optional>
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

int fail(const char *path, const char *reason, const char *detail = nullptr) {
  std::fprintf(stderr, "ppd-paper-defaults: %s: %s%s%s\n", path, reason, detail ? ": " : "",
               detail ? detail : "");
  return ExitFailure;
}

// Answers --help, -h and --version, which count only as the sole argument: with two or more
// arguments the first is never read, whatever it holds. Returns the exit status, or nothing when
// the run is not such a request.
std::optional<int> answerInfoRequest(int argc, char *argv[]) {
  const std::string_view soleArgument = argc == 2 ? argv[1] : "";
  if (soleArgument == "--help" || soleArgument == "-h") {
    std::printf("Usage: %s\n%s", Usage, Help);
  } else if (soleArgument == "--version") {
    std::printf("ppd-paper-defaults %s\n", PPD_PAPER_DEFAULTS_VERSION);
  } else {
    return std::nullopt;
  }
  return std::fflush(stdout) == 0 ? ExitSuccess : fail("standard output", std::strerror(errno));
}

// Why the PPD at `path` cannot be copied whole, or nullptr. It is read twice, by the PPD parser
// and then as text, so only a regular file will do: a pipe would give the second read nothing, a
// FIFO with no writer would block the first open, and a device such as /dev/zero never ends.
// stat() looks without opening.
const char *findInputProblem(const char *path) {
  struct stat status {};
  if (stat(path, &status) != 0) {
    return std::strerror(errno);
  }
  if (!S_ISREG(status.st_mode)) {
    return S_ISDIR(status.st_mode)
               ? std::strerror(EISDIR)
               : "not a regular file (the PPD is read twice; save it to a file first)";
  }
  if (hasDataAfterFirstGzipMember(path)) {
    return "gzip data goes on after its first member and would be cut short; decompress it first";
  }
  return nullptr;
}

// The PPD's text, byte by byte, through the CUPS file layer, which decompresses gzip data.
class PPDText {
public:
  explicit PPDText(const char *path) : file_(cupsFileOpen(path, "r"), cupsFileClose) {}
  explicit operator bool() const { return file_ != nullptr; }

  // The next byte, or -1 at the end of the input. The CUPS file layer ends the input at a read
  // error as at end of file; a successful read or write leaves errno alone, so the errno seen at
  // the end, when it was 0 before the first byte, tells the two apart.
  int nextByte() {
    const int c = cupsFileGetChar(file_.get());
    if (c < 0) {
      readError_ = errno;
    }
    return c;
  }

  // Why the text could not be read to its end, or nullptr when it was.
  const char *readProblem() const {
    // A gzip stream that ended well, its CRC checked, leaves the file marked uncompressed; one
    // that is still compressed at the end was cut short or damaged.
    if (cupsFileCompression(file_.get()) != CUPS_FILE_NONE) {
      return "damaged or truncated gzip data";
    }
    return readError_ != 0 ? std::strerror(readError_) : nullptr;
  }

private:
  std::unique_ptr<cups_file_t, decltype(&cupsFileClose)> file_;
  int readError_ = 0;
};

// Standard output, gathered into large blocks that are each written whole: a library call per
// line would cost more than the rest of the work on the line.
class BlockOutput {
public:
  bool write(const char *bytes, std::size_t length) {
    if (length > block_.size() - used_ && !writeBlock()) {
      return false;
    }
    if (length > block_.size()) {
      return std::fwrite(bytes, 1, length, stdout) == length;
    }
    std::memcpy(block_.data() + used_, bytes, length);
    used_ += length;
    return true;
  }

  // Writes what is left and flushes standard output.
  bool finish() { return writeBlock() && std::fflush(stdout) == 0; }

private:
  bool writeBlock() {
    const bool written = std::fwrite(block_.data(), 1, used_, stdout) == used_;
    used_ = 0;
    return written;
  }

  std::array<char, 64 * 1024> block_;
  std::size_t used_ = 0;
};

} // namespace

int main(int argc, char *argv[]) {
  // Declared first, so that it closes last, after the PPD file, whichever way the run ends.
  const ObjectReleaseScope releaseScope;

  if (const std::optional<int> status = answerInfoRequest(argc, argv)) {
    return *status;
  }
  if (argc < 3) {
    std::fprintf(stderr, "ppd-paper-defaults: missing PPD file (usage: %s)\n", Usage);
    return ExitUsage;
  }
  const char *path = argv[2];
  if (const char *problem = findInputProblem(path)) {
    return fail(path, problem);
  }

  const PPDPaperInfo info = readPPDMarketCode(path);
  PPDText text(path);
  if (!text) {
    return fail(path, std::strerror(errno));
  }
  const bool useLetter = decideUseLetter(info);

  BlockOutput output;
  errno = 0; // for PPDText to tell a read error from the end of the input
  const bool written = rewritePPDText(
      useLetter, [&text] { return text.nextByte(); },
      [&output](const char *bytes, std::size_t length) { return output.write(bytes, length); });
  if (!written || !output.finish()) {
    return fail(path, "cannot write standard output", std::strerror(errno));
  }
  if (const char *problem = text.readProblem()) {
    return fail(path, problem);
  }
  return ExitSuccess;
}
