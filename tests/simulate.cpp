// Preloaded into the tool by the end-to-end test, to give it what this machine does not.
// PPD_TEST_SIMULATE names the behaviours, separated by blanks:
// - "bsd": macOS and the BSDs. Opening /dev/stdin duplicates descriptor 0, so that both share one
//   file offset; and a successful fwrite leaves errno set, as BSD stdio leaves ENOTTY from the
//   isatty() of its first write to a file.
// - "read-fails-at-4k": a regular file gives its first 4096 bytes, and then every read fails with
//   EIO, so that a read can fail part-way through a PPD.
// - "replaced": a file named *.ppd is replaced by *.ppd.new between stat() and open(), as a
//   package upgrade might do.
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool simulates(const char *behaviour) {
  const char *behaviours = std::getenv("PPD_TEST_SIMULATE");
  return behaviours != nullptr && std::strstr(behaviours, behaviour) != nullptr;
}

template <typename Function> Function *real(const char *name) {
  return reinterpret_cast<Function *>(dlsym(RTLD_NEXT, name));
}

int openFile(const char *name, const char *path, int flags, va_list rest) {
  const mode_t mode = (flags & O_CREAT) != 0 ? static_cast<mode_t>(va_arg(rest, int)) : 0;
  if (simulates("bsd") && std::strcmp(path, "/dev/stdin") == 0) {
    return dup(0);
  }
  const std::size_t length = std::strlen(path);
  const bool replaced =
      simulates("replaced") && length > 4 && std::strcmp(path + length - 4, ".ppd") == 0;
  return real<int(const char *, int, ...)>(name)(
      replaced ? (std::string(path) + ".new").c_str() : path, flags, mode);
}

} // namespace

extern "C" int open(const char *path, int flags, ...) {
  va_list rest;
  va_start(rest, flags);
  const int fd = openFile("open", path, flags, rest);
  va_end(rest);
  return fd;
}

extern "C" int open64(const char *path, int flags, ...) {
  va_list rest;
  va_start(rest, flags);
  const int fd = openFile("open64", path, flags, rest);
  va_end(rest);
  return fd;
}

extern "C" std::size_t fwrite(const void *data, std::size_t size, std::size_t count, FILE *stream) {
  const std::size_t written = real<std::size_t(const void *, std::size_t, std::size_t, FILE *)>(
      "fwrite")(data, size, count, stream);
  if (written == count && simulates("bsd")) {
    errno = ENOTTY;
  }
  return written;
}

extern "C" ssize_t read(int fd, void *buffer, std::size_t size) {
  constexpr off_t Limit = 4096;
  const auto next = real<ssize_t(int, void *, std::size_t)>("read");
  const off_t offset = simulates("read-fails-at-4k") ? lseek(fd, 0, SEEK_CUR) : -1; // -1: pipes
  if (offset >= Limit) {
    errno = EIO;
    return -1;
  }
  return next(fd, buffer, offset < 0 ? size : std::min<std::size_t>(size, Limit - offset));
}
