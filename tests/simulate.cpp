// Preloaded into the tool by the end-to-end test to simulate what this machine cannot do; the
// comma-separated behaviours in PPD_TEST_SIMULATE are described in HACKING.md.
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool simulates(const char *behaviour) {
  const char *behaviours = std::getenv("PPD_TEST_SIMULATE");
  return behaviours != nullptr && std::strstr(behaviours, behaviour) != nullptr;
}

template <typename Function> Function *real(const char *name) {
  return reinterpret_cast<Function *>(dlsym(RTLD_NEXT, name));
}

bool isBSDStdin(const char *path) {
  return simulates("bsd") && std::strcmp(path, "/dev/stdin") == 0;
}

} // namespace

// The tool, built with 64-bit file offsets, opens its PPD through open64.
extern "C" int open64(const char *path, int flags, ...) {
  va_list rest;
  va_start(rest, flags);
  const int mode = (flags & O_CREAT) != 0 ? va_arg(rest, int) : 0;
  va_end(rest);
  return isBSDStdin(path) ? dup(0) : real<int(const char *, int, ...)>("open64")(path, flags, mode);
}

extern "C" int stat64(const char *path, struct stat64 *status) {
  const int result = real<int(const char *, struct stat64 *)>("stat64")(path, status);
  if (result == 0 && isBSDStdin(path)) {
    status->st_mode = S_IFCHR | 0620;
  }
  return result;
}

extern "C" std::size_t fwrite(const void *data, std::size_t size, std::size_t count, FILE *stream) {
  const std::size_t written = real<std::size_t(const void *, std::size_t, std::size_t, FILE *)>(
      "fwrite")(data, size, count, stream);
  if (written == count && simulates("bsd")) {
    errno = ENOTTY;
  }
  return written;
}

// The tool writes its output when it closes standard output (slow-flush: 0.2 s late).
extern "C" int fclose(FILE *stream) {
  if (stream == stdout && simulates("slow-flush")) {
    usleep(200 * 1000);
  }
  const bool failClose = stream == stdout && simulates("close-fails");
  const int result = real<int(FILE *)>("fclose")(stream);
  if (result == 0 && failClose) {
    errno = EIO;
    return EOF;
  }
  return result;
}

// The first read at or past byte 4096 (or 0) of a file fails with EIO; or each read there is first
// interrupted by a signal, as on FUSE or NFS, and works when retried. A read that would cross the
// mark stops at it, so that the next one starts there.
extern "C" ssize_t read(int fd, void *buffer, std::size_t size) {
  static bool failed = false, interrupted = false;
  const off_t mark = simulates("read-fails-at-0") ? 0 : 4096;
  const off_t offset = simulates("-at-") ? lseek(fd, 0, SEEK_CUR) : -1; // -1 also for pipes
  if (offset >= mark) {
    const bool fails = simulates("read-fails-at") && !std::exchange(failed, true);
    if (fails || (simulates("read-interrupted-at-4k") && (interrupted = !interrupted))) {
      errno = fails ? EIO : EINTR;
      return -1;
    }
  }
  return real<ssize_t(int, void *, std::size_t)>("read")(
      fd, buffer, offset < 0 || offset >= mark ? size : std::min<std::size_t>(size, mark - offset));
}

// pread, which the gzip check reads with, fails with EIO.
extern "C" ssize_t pread64(int fd, void *buffer, std::size_t size, off64_t offset) {
  if (simulates("pread-fails")) {
    errno = EIO;
    return -1;
  }
  return real<ssize_t(int, void *, std::size_t, off64_t)>("pread64")(fd, buffer, size, offset);
}
