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
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int ExitSuccess = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

constexpr const char *Usage = "ppd-paper-defaults IGNORED FILE.ppd";
constexpr const char *DamagedGzip = "damaged or truncated gzip data";

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
    "gzip data is written only when it decodes whole and nothing follows it.\n"
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

// The PPD, opened once and read twice from the same open file: by the PPD parser, then as text,
// which the CUPS file layer decompresses when it is gzip data. Opening the path again could give
// another file, one replaced meanwhile by a package upgrade say; and where opening /dev/stdin
// duplicates descriptor 0 (macOS, the BSDs) every open shares one offset, so a second open would
// start where the parser stopped.
class PPDInput {
public:
  // Opens the PPD at `path` and checks that it can be copied whole. Returns why not, or nullptr.
  const char *open(const char *path) {
    // Only a regular file can be read twice: a pipe would give the second read nothing, and a
    // device such as /dev/zero never ends. stat() looks without opening, so that a FIFO with no
    // writer cannot block the run.
    struct stat named {};
    if (stat(path, &named) != 0) {
      return std::strerror(errno);
    }
    if (!S_ISREG(named.st_mode)) {
      return S_ISDIR(named.st_mode)
                 ? std::strerror(EISDIR)
                 : "not a regular file (the PPD is read twice; save it to a file first)";
    }
    const int fd = ::open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      return std::strerror(errno);
    }
    file_.reset(cupsFileOpenFd(fd, "r"));
    if (!file_) {
      close(fd);
      return std::strerror(ENOMEM);
    }
    struct stat opened {};
    if (fstat(fd, &opened) != 0) {
      return std::strerror(errno);
    }
    if (opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
      return "replaced while it was being opened; try again";
    }
    // A descriptor shared with standard input may have been read from already; start at the
    // first byte, as a file opened anew does.
    if (lseek(fd, 0, SEEK_SET) != 0) {
      return std::strerror(errno);
    }
    switch (checkGzipInput(fd)) {
    case GzipInput::NotGzip:
      return nullptr;
    case GzipInput::Whole:
      gzip_ = true;
      return nullptr;
    case GzipInput::Damaged:
      return DamagedGzip;
    case GzipInput::GoesOn:
      return "gzip data goes on after its first member and would be cut short; decompress it first";
    case GzipInput::ReadFailed:
      break;
    }
    return std::strerror(errno);
  }

  // The open file, for the PPD parser.
  cups_file_t *file() const { return file_.get(); }

  // Goes back to the first byte for the text, after the parser. Returns why the text cannot be
  // read, or nullptr.
  const char *rewind() {
    if (cupsFileRewind(file_.get()) != 0) {
      return std::strerror(errno);
    }
    // When the parser's first read failed, the file stays at its end. For gzip data that decodes
    // whole, that is the CUPS file layer's limit: it reads the header from its first 4 KiB.
    if (cupsFileEOF(file_.get())) {
      return gzip_ ? "gzip header longer than the 4 KiB that the CUPS file layer reads; "
                     "decompress it first"
                   : std::strerror(EIO);
    }
    return nullptr;
  }

  // The next byte of the text, or -1 at the end of the input. The CUPS file layer ends the input
  // at a read error as at end of file; a failed read sets errno and the end of the input leaves
  // it alone, so errno, cleared before the copy, tells the two apart.
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
    // that is still compressed at the end was cut short or damaged since it was checked.
    if (cupsFileCompression(file_.get()) != CUPS_FILE_NONE) {
      return DamagedGzip;
    }
    return readError_ != 0 ? std::strerror(readError_) : nullptr;
  }

private:
  std::unique_ptr<cups_file_t, decltype(&cupsFileClose)> file_{nullptr, cupsFileClose};
  bool gzip_ = false;
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
      return writeWhole(bytes, length);
    }
    std::memcpy(block_.data() + used_, bytes, length);
    used_ += length;
    return true;
  }

  // Writes what is left and flushes standard output.
  bool finish() { return writeBlock() && std::fflush(stdout) == 0; }

private:
  bool writeBlock() {
    const bool written = writeWhole(block_.data(), used_);
    used_ = 0;
    return written;
  }

  // A write that succeeds leaves errno as it was, as PPDInput::nextByte needs. stdio may set it
  // all the same: BSD stdio leaves ENOTTY from the isatty() of its first write to a file.
  static bool writeWhole(const char *bytes, std::size_t length) {
    const int previous = errno;
    if (std::fwrite(bytes, 1, length, stdout) != length) {
      return false;
    }
    errno = previous;
    return true;
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
    std::fprintf(stderr, "ppd-paper-defaults: %s (usage: %s)\n",
                 argc < 2 ? "missing PPD file"
                          : "the PPD file is the second argument; the first is not read",
                 Usage);
    return ExitUsage;
  }
  const char *path = argv[2];
  const char *name = path[0] != '\0' ? path : "''"; // an empty name, visible in messages

  PPDInput input;
  if (const char *problem = input.open(path)) {
    return fail(name, problem);
  }
  const PPDPaperInfo info = readPPDMarketCode(input.file());
  if (const char *problem = input.rewind()) {
    return fail(name, problem);
  }
  const bool useLetter = decideUseLetter(info);

  BlockOutput output;
  errno = 0; // for PPDInput to tell a read error from the end of the input
  const bool written = rewritePPDText(
      useLetter, [&input] { return input.nextByte(); },
      [&output](const char *bytes, std::size_t length) { return output.write(bytes, length); });
  if (!written || !output.finish()) {
    return fail(name, "cannot write standard output", std::strerror(errno));
  }
  if (const char *problem = input.readProblem()) {
    return fail(name, problem);
  }
  return ExitSuccess;
}
