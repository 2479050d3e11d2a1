// Preloaded into the tool by the end-to-end test and the fault sweep to simulate what this machine
// cannot do. PPD_TEST_SIMULATE names the behaviours, comma-separated:
//   bsd: /dev/stdin is a character device whose open duplicates descriptor 0, and a write that
//     succeeds leaves errno set (ENOTTY, from stdio's isatty), as on the BSDs and macOS;
//   stat-says-regular: stat takes a FIFO for a regular file, as if the path changed after the stat;
//   size-lies: fstat says a regular file holds 4096 bytes more than it does, as sysfs does;
//   eagain-if-nonblocking: a read of a non-blocking descriptor fails with EAGAIN, as /proc/kmsg's;
//   change-at-end, change-in-copy: the shell command in PPD_TEST_CHANGE changes the PPD where the
//     parser's pass meets its end, or once the copy has read its first piece;
//   read-once: a read of the PPD after one that met its end fails (EIO);
//   slow-flush: 0.2 s pass before standard output is closed, which is when the output is written;
//   fail-alloc=N: the Nth malloc, calloc or realloc from the start of main fails (ENOMEM), and
//     count-allocs prints their number at the end (neither under a sanitizer's allocator);
//   no-brk: a page mapped 1 MiB above the break stops the heap there, so that malloc takes its
//     memory from mmap and leaves errno at ENOMEM, as under valgrind (not under a sanitizer).
// The tool has 64-bit file offsets, so it calls open64, stat64 and fstat64.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
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

int ppd = -1; // the descriptor that the tool opened last: its PPD

} // namespace

extern "C" int open64(const char *path, int flags, ...) {
  va_list rest;
  va_start(rest, flags);
  const int mode = (flags & O_CREAT) != 0 ? va_arg(rest, int) : 0;
  va_end(rest);
  ppd = isBSDStdin(path) ? dup(0) : real<int(const char *, int, ...)>("open64")(path, flags, mode);
  return ppd;
}

extern "C" int stat64(const char *path, struct stat64 *status) {
  const int result = real<int(const char *, struct stat64 *)>("stat64")(path, status);
  if (result == 0 && isBSDStdin(path)) {
    status->st_mode = S_IFCHR | 0620;
  }
  if (result == 0 && S_ISFIFO(status->st_mode) && simulates("stat-says-regular")) {
    status->st_mode = S_IFREG | 0600;
  }
  return result;
}

extern "C" int fstat64(int fd, struct stat64 *status) {
  const int result = real<int(int, struct stat64 *)>("fstat64")(fd, status);
  if (result == 0 && S_ISREG(status->st_mode) && simulates("size-lies")) {
    status->st_size += 4096;
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

extern "C" int fclose(FILE *stream) {
  if (stream == stdout && simulates("slow-flush")) {
    usleep(200 * 1000);
  }
  return real<int(FILE *)>("fclose")(stream);
}

extern "C" ssize_t read(int fd, void *buffer, std::size_t size) {
  static bool parsed = false, changed = false; // the parser's pass has met the end; the change
  if (simulates("eagain-if-nonblocking") && (fcntl(fd, F_GETFL) & O_NONBLOCK) != 0) {
    errno = EAGAIN;
    return -1;
  }
  if (fd == ppd && parsed && simulates("read-once")) {
    errno = EIO;
    return -1;
  }
  const ssize_t length = real<ssize_t(int, void *, std::size_t)>("read")(fd, buffer, size);
  if (fd == ppd && !changed && (length == 0 || parsed)) {
    changed = simulates(parsed ? "change-in-copy" : "change-at-end");
    parsed = true;
    if (changed) {
      unsetenv("LD_PRELOAD"); // the command runs as it would without this library
      if (std::system(std::getenv("PPD_TEST_CHANGE")) != 0) {
        std::fputs("simulate: the change failed\n", stderr); // fails the row
      }
    }
  }
  return length;
}

#ifndef __SANITIZE_ADDRESS__
extern "C" void *__libc_malloc(std::size_t);
extern "C" void *__libc_calloc(std::size_t, std::size_t);
extern "C" void *__libc_realloc(void *, std::size_t);
static long allocations = -1, failing = 0; // counted from the start of main

static bool failsAllocation() {
  const bool fails = allocations >= 0 && ++allocations == failing;
  if (fails) {
    errno = ENOMEM;
  }
  return fails;
}

extern "C" void *malloc(std::size_t size) {
  return failsAllocation() ? nullptr : __libc_malloc(size);
}

extern "C" void *calloc(std::size_t count, std::size_t size) {
  return failsAllocation() ? nullptr : __libc_calloc(count, size);
}

extern "C" void *realloc(void *data, std::size_t size) {
  return failsAllocation() ? nullptr : __libc_realloc(data, size);
}

extern "C" int __libc_start_main(int (*main)(int, char **, char **), int argc, char **argv,
                                 void (*init)(), void (*fini)(), void (*rtldFini)(), void *stack) {
  const char *behaviours = std::getenv("PPD_TEST_SIMULATE");
  const char *at = behaviours != nullptr ? std::strstr(behaviours, "fail-alloc=") : nullptr;
  failing = at != nullptr ? std::atol(at + 11) : 0;
  allocations = 0;
  if (simulates("no-brk")) {
    mmap(static_cast<char *>(sbrk(0)) + (1 << 20), 4096, PROT_NONE,
         MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  }
  return real<decltype(__libc_start_main)>("__libc_start_main")(main, argc, argv, init, fini,
                                                                rtldFini, stack);
}

[[gnu::destructor]] static void reportAllocations() {
  if (simulates("count-allocs")) {
    std::fprintf(stderr, "allocations: %ld\n", allocations);
  }
}
#endif
