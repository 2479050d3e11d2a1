// The rules for the PPD file: what may be opened and copied, whether each pass reached the end of
// the file, and whether the file changed while it was read.
#include "ppd_input.h"

#include "gzip_members.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char *NotRegular =
    "not a regular file (the PPD is read twice; save it to a file first)";

// When the file's text was last written, to the nanosecond (Apple names the field otherwise).
timespec getModificationTime(const struct stat &status) {
#ifdef __APPLE__
  return status.st_mtimespec;
#else
  return status.st_mtim;
#endif
}

} // namespace

const char *PPDInput::open(const char *path) {
  // A FIFO is refused before it is opened, since opening it would release a writer waiting on it.
  struct stat named {};
  if (stat(path, &named) == 0 && S_ISFIFO(named.st_mode)) {
    return NotRegular;
  }
  // Non-blocking, so that a FIFO put at the path after the stat cannot block the open either.
  int fd = ::open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  // A write lease held by another process fails that open at once; a blocking one waits it out.
  if (fd < 0 && errno == EWOULDBLOCK && S_ISREG(named.st_mode)) {
    fd = ::open(path, O_RDONLY | O_NOCTTY | O_CLOEXEC);
  }
  // Never descriptor 0, 1 or 2: a closed standard output must fail the output, not be the PPD.
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
  // Only a regular file reads the same twice and ends; nothing is read from anything else, under
  // any locale, so that whether a file is taken does not depend on the locale.
  if (fstat(fd, &opened_) != 0) {
    return std::strerror(errno);
  }
  if (!S_ISREG(opened_.st_mode)) {
    return S_ISDIR(opened_.st_mode) ? std::strerror(EISDIR) : NotRegular;
  }
  // Reads block from here on: the CUPS file layer would retry a file's EAGAIN at once, spinning.
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    return std::strerror(errno);
  }
  // Output into the PPD (>> or 1<>) would loop or garble it; after >, this says why none came.
  struct stat output {};
  if (fstat(STDOUT_FILENO, &output) == 0 && output.st_dev == opened_.st_dev &&
      output.st_ino == opened_.st_ino) {
    return "input file is output file";
  }
  // A descriptor shared with standard input may have been read already: start at the first byte.
  if (lseek(fd, 0, SEEK_SET) != 0) {
    return std::strerror(errno);
  }
  return checkGzipInput(fd, gzipText_);
}

const char *PPDInput::readProblem(int error) const {
  // The parser may stop early at a syntax error, which is no failure.
  if (!cupsFileEOF(file_.get())) {
    return nullptr;
  }
  // The CUPS file layer takes a failed read for the end of the file, so the end is checked anew.
  if (gzipText_) {
    // Small gzip data is read whole at once, decoded or not: the decoded length must be reached.
    if (cupsFileTell(file_.get()) >= static_cast<off_t>(*gzipText_)) {
      return nullptr;
    }
  } else {
    // A plain file is asked whether a byte follows, since its size may say more than it holds.
    const int fd = cupsFileNumber(file_.get());
    char next;
    const off_t stopped = lseek(fd, 0, SEEK_CUR);
    const ssize_t more = stopped < 0 ? -1 : readAt(fd, &next, 1, stopped);
    if (more == 0) {
      return nullptr;
    }
    if (more < 0) {
      return std::strerror(errno);
    }
  }
  // Something follows: the file grew or shrank during the pass, or else a read failed.
  if (const char *changed = changeProblem()) {
    return changed;
  }
  return std::strerror(error != 0 ? error : EIO);
}

const char *PPDInput::changeProblem() const {
  // Only the size and the modification time count: a rename, a link, chmod or a copy-up changes
  // the file's metadata, not the text that the open file holds.
  struct stat now {};
  if (fstat(cupsFileNumber(file_.get()), &now) != 0) {
    return std::strerror(errno);
  }
  const timespec modified = getModificationTime(now), before = getModificationTime(opened_);
  const bool changed = now.st_size != opened_.st_size || modified.tv_sec != before.tv_sec ||
                       modified.tv_nsec != before.tv_nsec;
  return changed ? "file changed while it was read" : nullptr;
}

const char *PPDInput::rewind() {
  return cupsFileRewind(file_.get()) == 0 ? nullptr : std::strerror(errno);
}
