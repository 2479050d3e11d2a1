// Preloaded into the tool by the end-to-end test; PPD_TEST_SIMULATE names what it simulates. "bsd":
// opening /dev/stdin duplicates descriptor 0, and a successful fwrite leaves errno ENOTTY, as on
// macOS and the BSDs; "read-fails-at-4k": reads past a file's first 4096 bytes fail with EIO;
// "replaced": X.ppd is replaced by X.ppd.gz between stat() and open(), as by a package upgrade.
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

} // namespace

// The tool, built with 64-bit file offsets, opens its PPD through open64.
extern "C" int open64(const char *path, int flags, ...) {
  va_list rest;
  va_start(rest, flags);
  const int mode = (flags & O_CREAT) != 0 ? va_arg(rest, int) : 0;
  va_end(rest);
  const std::string name = path;
  if (simulates("bsd") && name == "/dev/stdin") {
    return dup(0);
  }
  const bool replaced =
      simulates("replaced") && name.size() > 4 && name.rfind(".ppd") == name.size() - 4;
  return real<int(const char *, int, ...)>("open64")((replaced ? name + ".gz" : name).c_str(),
                                                     flags, mode);
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
  const off_t offset = simulates("read-fails-at-4k") ? lseek(fd, 0, SEEK_CUR) : -1; // -1: pipes
  if (offset >= Limit) {
    errno = EIO;
    return -1;
  }
  return real<ssize_t(int, void *, std::size_t)>("read")(
      fd, buffer, offset < 0 ? size : std::min<std::size_t>(size, Limit - offset));
}
