// Preloaded into the tool by the end-to-end test: a regular file gives its first 4096 bytes, and
// then every read fails with EIO, so that a read can fail part-way through a PPD.
#include <algorithm>
#include <cerrno>

#include <dlfcn.h>
#include <unistd.h>

extern "C" ssize_t read(int fd, void *buffer, size_t size) {
  constexpr off_t Limit = 4096;
  static const auto next =
      reinterpret_cast<ssize_t (*)(int, void *, size_t)>(dlsym(RTLD_NEXT, "read"));
  const off_t offset = lseek(fd, 0, SEEK_CUR); // -1 for pipes, which read on
  if (offset >= Limit) {
    errno = EIO;
    return -1;
  }
  return next(fd, buffer, offset < 0 ? size : std::min<size_t>(size, Limit - offset));
}
