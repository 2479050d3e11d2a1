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
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

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
constexpr const char *Changed = "file changed while it was read";
constexpr const char *NotRegular =
    "not a regular file (the PPD is read twice; save it to a file first)";

constexpr const char *Help =
    "Writes the PPD FILE.ppd (plain or gzip-compressed) to standard output, its default paper set\n"
    "to Letter when the locale is en_US or en_CA, the PPD offers a Letter page size and it is not\n"
    "a \"J\" market model. The first argument is not read. FILE.ppd must be a regular file.\n"
    "\n"
    "Exit status: 0 on success, 1 when the PPD cannot be read or the output cannot be written,\n"
    "2 on a usage error. The manual page, ppd-paper-defaults(1), gives the exact rules.\n";

// Characters that a terminal or a log viewer does not show as they are: the line and paragraph
// separators, at which it breaks the line, and the bidirectional controls, which reorder the text
// around them ("invoice\u202efdp.ppd" shows as "invoiceppd.pdf").
constexpr std::pair<char32_t, char32_t> HiddenCharacters[] = {
    {0x061c, 0x061c}, {0x200e, 0x200f}, {0x2028, 0x202e}, {0x2066, 0x2069}};

// How many bytes of `s` make one character that a terminal shows as it is: 1 for printable ASCII,
// 2 to 4 for any other UTF-8 character in its shortest form, but for C1 controls (U+0080 to
// U+009F, which some terminals obey as they obey ESC), UTF-16 surrogates and the characters above;
// 0 for anything else, a control character or a byte that starts no such character.
std::size_t getPrintableLength(const unsigned char *s) {
  if (s[0] < 0x80) {
    return s[0] >= 0x20 && s[0] != 0x7f ? 1 : 0;
  }
  const std::size_t length = s[0] < 0xc2   ? 0
                             : s[0] < 0xe0 ? 2
                             : s[0] < 0xf0 ? 3
                             : s[0] < 0xf5 ? 4
                                           : 0;
  if (length == 0) {
    return 0;
  }
  char32_t c = s[0] & (0x7f >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((s[i] & 0xc0) != 0x80) { // a NUL too ends the character short
      return 0;
    }
    c = c << 6 | (s[i] & 0x3f);
  }
  constexpr char32_t Shortest[] = {0, 0, 0x80, 0x800, 0x10000}; // the least for each length
  const bool hidden =
      std::any_of(std::begin(HiddenCharacters), std::end(HiddenCharacters),
                  [c](const auto &range) { return c >= range.first && c <= range.second; });
  return c < Shortest[length] || c <= 0x9f || (c >= 0xd800 && c <= 0xdfff) || c > 0x10ffff || hidden
             ? 0
             : length;
}

// Writes `name` to standard error as it goes into a one-line message: as it is, unless it is empty
// or holds a character that getPrintableLength refuses (a line feed, an escape code that a terminal
// would obey, a byte that is not UTF-8); then quoted as a shell reads $'...'.
void writeName(const char *name) {
  const auto *bytes = reinterpret_cast<const unsigned char *>(name);
  std::size_t plain = 0; // the bytes before the first that has to be quoted
  while (const std::size_t length = getPrintableLength(bytes + plain)) {
    plain += length;
  }
  if (name[plain] == '\0') {
    std::fputs(plain == 0 ? "''" : name, stderr);
    return;
  }
  std::fputs("$'", stderr);
  for (const unsigned char *c = bytes; *c != '\0';) {
    const int length = static_cast<int>(getPrintableLength(c));
    if (length == 0 && *c == '\n') {
      std::fputs("\\n", stderr);
    } else if (length == 0) {
      std::fprintf(stderr, "\\%03o", *c);
    } else {
      std::fprintf(stderr, *c == '\\' || *c == '\'' ? "\\%.*s" : "%.*s", length, c);
    }
    c += length == 0 ? 1 : length;
  }
  std::fputs("'", stderr);
}

// Prints the one line that names the file and the reason. Standard error has a buffer of the
// tool's own (main), so that the line leaves in one write, and nothing has to be allocated for it.
int fail(const char *name, const char *reason, const char *detail = nullptr) {
  std::fputs("ppd-paper-defaults: ", stderr);
  writeName(name);
  std::fprintf(stderr, ": %s%s%s\n", reason, detail ? ": " : "", detail ? detail : "");
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

// When the file's text was last written, to the nanosecond (Apple names the field otherwise).
timespec getModificationTime(const struct stat &status) {
#ifdef __APPLE__
  return status.st_mtimespec;
#else
  return status.st_mtim;
#endif
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
    // A FIFO is refused before it is opened: the open would release a writer that waits on it,
    // which would then lose its data or be killed by SIGPIPE.
    struct stat named {};
    if (stat(path, &named) == 0 && S_ISFIFO(named.st_mode)) {
      return NotRegular;
    }
    // O_NONBLOCK, so that a FIFO put at the path after the stat cannot block the open either; it
    // is refused below.
    int fd = ::open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    // That open fails at once on a file that another process holds a write lease on (Samba's
    // oplocks, NFS delegations); a blocking open waits, as cat's does, until the lease is given up.
    if (fd < 0 && errno == EWOULDBLOCK && S_ISREG(named.st_mode)) {
      fd = ::open(path, O_RDONLY | O_NOCTTY | O_CLOEXEC);
    }
    // Never a standard descriptor that was closed when the tool started: with standard output
    // closed, the output must fail as it would for cat, not be compared with the PPD.
    if (fd >= 0 && fd <= STDERR_FILENO) {
      const int standard = fd;
      fd = fcntl(standard, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
      if (fd < 0 && errno == EINVAL) {
        errno = EMFILE; // the limit on open files allows no descriptor above 2
      }
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
    if (fstat(fd, &opened_) != 0) {
      return std::strerror(errno);
    }
    if (!S_ISREG(opened_.st_mode)) {
      return S_ISDIR(opened_.st_mode) ? std::strerror(EISDIR) : NotRegular;
    }
    // Reads block from here on, as cat's do. A regular file that honours O_NONBLOCK, such as
    // /proc/kmsg or one on FUSE, answers EAGAIN instead, which the CUPS file layer retries at
    // once, spinning.
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
      return std::strerror(errno);
    }
    // Written to as it is read, with >> or 1<>, the PPD would never end or come out garbled; and
    // after >, which has emptied it already, the message says why the output is empty.
    struct stat output {};
    if (fstat(STDOUT_FILENO, &output) == 0 && output.st_dev == opened_.st_dev &&
        output.st_ino == opened_.st_ino) {
      return "input file is output file";
    }
    // A descriptor shared with standard input may have been read from already; start at the
    // first byte, as a file opened anew does.
    if (lseek(fd, 0, SEEK_SET) != 0) {
      return std::strerror(errno);
    }
    return checkGzipInput(fd, gzipText_);
  }

  // The open file, for the PPD parser and the copy.
  cups_file_t *file() const { return file_.get(); }

  // After a pass over the text: why it ended before the end of the file, or nullptr. The CUPS
  // file layer ends its input at a failed read as at the end of the file, so the file is asked
  // whether anything follows where the layer stopped; its size is no guide (a sysfs file says
  // 4096 and holds less). Where something does, the file grew or shrank during the pass, or else
  // a read failed, as `error` (errno as the read that ended the pass left it) says. The parser
  // also stops at a syntax error, before the end of its input, and that is no failure.
  const char *readProblem(int error) const {
    if (!cupsFileEOF(file_.get())) {
      return nullptr;
    }
    // gzip data fits whole in the layer's first read when it is small, so the file is at its end
    // whether or not the layer decoded it: the text has to be there to its last byte. (The layer
    // names memory that it lacks for decompressing an input/output error.)
    if (gzipText_) {
      if (cupsFileTell(file_.get()) >= static_cast<off_t>(*gzipText_)) {
        return nullptr;
      }
    } else {
      const int fd = cupsFileNumber(file_.get());
      char next;
      const off_t stopped = lseek(fd, 0, SEEK_CUR);
      const ssize_t more = stopped < 0 ? -1 : pread(fd, &next, 1, stopped);
      if (more == 0) {
        return nullptr;
      }
      if (more < 0) {
        return std::strerror(errno);
      }
    }
    if (const char *changed = changeProblem()) {
      return changed;
    }
    return std::strerror(error != 0 ? error : EIO);
  }

  // Whether the text may differ from the one that was read: the size or the modification time
  // differs from what it was at the open. A rename, a link, chmod or an overlay file system's
  // copy-up changes only the file's metadata (its change time, its link count), and the text that
  // the open file holds stays as it was.
  const char *changeProblem() const {
    struct stat now {};
    if (fstat(cupsFileNumber(file_.get()), &now) != 0) {
      return std::strerror(errno);
    }
    const timespec modified = getModificationTime(now), before = getModificationTime(opened_);
    const bool changed = now.st_size != opened_.st_size || modified.tv_sec != before.tv_sec ||
                         modified.tv_nsec != before.tv_nsec;
    return changed ? Changed : nullptr;
  }

  // Goes back to the first byte for the copy. Returns why it cannot, or nullptr.
  const char *rewind() { return cupsFileRewind(file_.get()) == 0 ? nullptr : std::strerror(errno); }

private:
  std::unique_ptr<cups_file_t, decltype(&cupsFileClose)> file_{nullptr, cupsFileClose};
  struct stat opened_ {};                 // as the file was when it was opened
  std::optional<std::uint64_t> gzipText_; // the decoded length of gzip input
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
  // A message is written in pieces (fail) and leaves at its line feed, in one write.
  static char errorBuffer[BUFSIZ];
  std::setvbuf(stderr, errorBuffer, _IOLBF, sizeof errorBuffer);

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
  // errno, cleared before each pass, names a read that failed in it. In the parser's pass it also
  // tells of an allocation that failed (ENOMEM), which the parser may have reported by rejecting
  // the file, or passed over, leaving out a keyword or an option: either way the decision would
  // rest on half a PPD.
  errno = 0;
  const PPDPaperInfo info = readPPDMarketCode(input.file());
  const int parseError = errno;
  if (const char *problem =
          parseError == ENOMEM ? std::strerror(ENOMEM) : input.readProblem(parseError)) {
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
  if (const char *problem = input.changeProblem()) {
    return fail(path, problem);
  }
  return ExitSuccess;
}
