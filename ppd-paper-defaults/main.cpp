// ppd-paper-defaults: writes a PPD to standard output, its default paper keywords set to Letter
// where the market, the PPD's page sizes and the user's locale call for it.
#include "gzip_members.h"
#include "paper_policy.h"
#include "platform/release_scope.h"
#include "ppd_rewrite.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
constexpr const char *InfoUsage = "ppd-paper-defaults --help | -h | --version";
constexpr const char *DamagedGzip = "damaged or truncated gzip data";

constexpr const char *Help =
    "Writes the PPD FILE.ppd (plain or gzip-compressed) to standard output, its default paper set\n"
    "to Letter when the locale is en_US or en_CA, the PPD offers a Letter page size and it is not\n"
    "a \"J\" market model. The first argument is not read. FILE.ppd must be a regular file.\n"
    "\n"
    "Exit status: 0 on success, 1 when the PPD cannot be read or the output cannot be written,\n"
    "2 on a usage error. The manual page, ppd-paper-defaults(1), gives the exact rules.\n";

// `name` as it goes into a one-line message: as it is, unless it is empty or holds a control
// character (a line feed, or an escape code that a terminal would obey); then quoted as a shell
// reads $'...', written into `room`, which has 4 bytes for each of the name's and 4 more.
const char *quoteName(const char *name, char *room, std::size_t size) {
  const auto isControl = [](unsigned char c) { return c < 0x20 || c == 0x7f; };
  if (name[0] == '\0') {
    return "''";
  }
  if (std::none_of(name, name + std::strlen(name), isControl)) {
    return name;
  }
  std::size_t used = std::snprintf(room, size, "$'");
  for (const char *c = name; *c != '\0'; ++c) {
    const unsigned char byte = *c;
    const char *format = byte == '\\' || byte == '\'' ? "\\%c"
                         : byte == '\n'               ? "\\n"
                         : isControl(byte)            ? "\\%03o"
                                                      : "%c";
    used += std::snprintf(room + used, size - used, format, byte);
  }
  std::snprintf(room + used, size - used, "'");
  return room;
}

int fail(const char *name, const char *reason, const char *detail = nullptr) {
  const std::size_t size = 4 * std::strlen(name) + 4;
  const std::unique_ptr<char, decltype(&std::free)> room(static_cast<char *>(std::malloc(size)),
                                                         std::free);
  std::fprintf(stderr, "ppd-paper-defaults: %s: %s%s%s\n",
               room ? quoteName(name, room.get(), size) : name, reason, detail ? ": " : "",
               detail ? detail : "");
  return ExitFailure;
}

// Flushes and closes standard output, so that an error reported only then (a full disk, or NFS,
// which may report a failed write only at close) still makes the run fail.
bool closeStandardOutput() {
  return std::fclose(stdout) == 0;
}

// Answers --help, -h and --version, which count only as the sole argument: with two or more
// arguments the first is never read, whatever it holds. Returns the exit status, or nothing when
// the run is not such a request.
std::optional<int> answerInfoRequest(int argc, char *argv[]) {
  const std::string_view soleArgument = argc == 2 ? argv[1] : "";
  if (soleArgument == "--help" || soleArgument == "-h") {
    std::printf("Usage: %s\n       %s\n\n%s", Usage, InfoUsage, Help);
  } else if (soleArgument == "--version") {
    std::printf("ppd-paper-defaults %s\nLicensed under the Apache License, Version 2.0.\n",
                PPD_PAPER_DEFAULTS_VERSION);
  } else {
    return std::nullopt;
  }
  return closeStandardOutput() ? ExitSuccess : fail("standard output", std::strerror(errno));
}

// The PPD, opened once and read twice from the same open file: by the PPD parser, then as text,
// which the CUPS file layer decompresses when it is gzip data. Where opening /dev/stdin duplicates
// descriptor 0 (macOS, the BSDs) every open shares one offset, so a second open would start where
// the parser stopped; and one descriptor read from start to end cannot mix two files when the
// path is replaced during the run, by a package upgrade say.
class PPDInput {
public:
  // Opens the PPD at `path` and checks that it can be copied whole. Returns why not, or nullptr.
  const char *open(const char *path) {
    // O_NONBLOCK, so that a FIFO without a writer cannot block the open; it is refused below.
    int fd = ::open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    // That open fails at once on a file that another process holds a write lease on (Samba's
    // oplocks, NFS delegations); a blocking open waits, as cat's does, until the lease is given up.
    struct stat opened {};
    if (fd < 0 && errno == EWOULDBLOCK && stat(path, &opened) == 0 && S_ISREG(opened.st_mode)) {
      fd = ::open(path, O_RDONLY | O_NOCTTY | O_CLOEXEC);
    }
    // Never a standard descriptor that was closed when the tool started: with standard output
    // closed, the output must fail as it would for cat, not be compared with the PPD.
    if (fd >= 0 && fd <= STDERR_FILENO) {
      const int standard = fd;
      fd = fcntl(standard, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
      close(standard); // a descriptor just opened for reading closes without touching errno
    }
    if (fd < 0) {
      return std::strerror(errno);
    }
    file_.reset(cupsFileOpenFd(fd, "r"));
    if (!file_) {
      close(fd);
      return std::strerror(ENOMEM);
    }
    // Only a regular file can be read twice: a pipe would give the second read nothing, and a
    // device such as /dev/zero never ends. Nothing is read from anything else.
    if (fstat(fd, &opened) != 0) {
      return std::strerror(errno);
    }
    if (!S_ISREG(opened.st_mode)) {
      return S_ISDIR(opened.st_mode)
                 ? std::strerror(EISDIR)
                 : "not a regular file (the PPD is read twice; save it to a file first)";
    }
    // Written to as it is read, with >> or 1<>, the PPD would never end or come out garbled; and
    // after >, which has emptied it already, the message says why the output is empty.
    struct stat output {};
    if (fstat(STDOUT_FILENO, &output) == 0 && output.st_dev == opened.st_dev &&
        output.st_ino == opened.st_ino) {
      return "input file is output file";
    }
    // A descriptor shared with standard input may have been read from already; start at the
    // first byte, as a file opened anew does.
    if (lseek(fd, 0, SEEK_SET) != 0) {
      return std::strerror(errno);
    }
    const GzipCheck gzip = checkGzipInput(fd);
    textLength_ = gzip.input == GzipInput::Whole ? gzip.textLength
                                                 : static_cast<std::uint64_t>(opened.st_size);
    switch (gzip.input) {
    case GzipInput::NotGzip:
    case GzipInput::Whole:
      return nullptr;
    case GzipInput::Damaged:
      return DamagedGzip;
    case GzipInput::GoesOn:
      return "gzip data goes on after its first member, and the CUPS file layer would not copy "
             "the rest as it is; decompress it first";
    case GzipInput::LongHeader:
      return "gzip header longer than the 4 KiB that the CUPS file layer reads; decompress it "
             "first";
    case GzipInput::ReadFailed:
      break;
    }
    return std::strerror(errno);
  }

  // The open file, for the PPD parser and the copy.
  cups_file_t *file() const { return file_.get(); }

  // After a pass over the text: why it ended short of the text's end, or nullptr. The CUPS file
  // layer ends its input at a failed read as at the end of the file; `error` is errno as the read
  // that ended it left it. The parser also stops at a syntax error, but before the end of its
  // input, and that is no failure.
  const char *readProblem(int error) const {
    // A file that grew while it was read is read to its new end, as cat reads it.
    if (!cupsFileEOF(file_.get()) ||
        static_cast<std::uint64_t>(cupsFileTell(file_.get())) >= textLength_) {
      return nullptr;
    }
    return std::strerror(error != 0 ? error : EIO); // a file cut short while it was read: no errno
  }

  // Goes back to the first byte for the copy. Returns why it cannot, or nullptr.
  const char *rewind() { return cupsFileRewind(file_.get()) == 0 ? nullptr : std::strerror(errno); }

private:
  std::unique_ptr<cups_file_t, decltype(&cupsFileClose)> file_{nullptr, cupsFileClose};
  std::uint64_t textLength_ = 0; // the file's size, or for gzip the length of the decoded text
};

} // namespace

int main(int argc, char *argv[]) {
  // Declared first, so that it closes last, after the PPD file, whichever way the run ends.
  const ObjectReleaseScope releaseScope;
  // A buffer of the tool's own: an output of up to 64 KiB leaves in one write, so a reader that
  // stops after a line (| head -n 1) always finds the whole output in the pipe, and a larger one
  // leaves in few. glibc takes the size only together with the storage.
  static char outputBuffer[64 * 1024];
  std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);

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

  PPDInput input;
  if (const char *problem = input.open(path)) {
    return fail(path, problem);
  }
  // errno, cleared before each pass, names a read that failed in it; nothing else is read of it.
  errno = 0;
  const PPDPaperInfo info = readPPDMarketCode(input.file());
  if (const char *problem = input.readProblem(errno)) {
    return fail(path, problem);
  }
  if (const char *problem = input.rewind()) {
    return fail(path, problem);
  }
  const bool useLetter = decideUseLetter(info);

  errno = 0;
  int readError = 0;
  const bool written = rewritePPDText(
      useLetter,
      [file = input.file(), &readError] {
        const int c = cupsFileGetChar(file);
        if (c < 0) {
          readError = errno; // before a write of what came before can change it
        }
        return c;
      },
      [](const char *bytes, std::size_t length) {
        return std::fwrite(bytes, 1, length, stdout) == length;
      });
  if (!written || !closeStandardOutput()) {
    return fail(path, "cannot write standard output", std::strerror(errno));
  }
  if (const char *problem = input.readProblem(readError)) {
    return fail(path, problem);
  }
  return ExitSuccess;
}
