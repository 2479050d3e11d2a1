#include "gzip_members.h"

#include <array>

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

namespace {

// Plain POSIX reads: the check runs on every input, and a stdio stream would cost an allocation.
class InputFile {
public:
  explicit InputFile(const char *path) : fd_(open(path, O_RDONLY | O_CLOEXEC)) {}
  ~InputFile() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  InputFile(const InputFile &) = delete;
  InputFile &operator=(const InputFile &) = delete;

  // Bytes read into `buffer`; 0 at end of file, and on an error, which the text read reports.
  std::size_t read(unsigned char *buffer, std::size_t size) {
    const ssize_t got = fd_ < 0 ? -1 : ::read(fd_, buffer, size);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }

private:
  int fd_;
};

} // namespace

bool hasDataAfterFirstGzipMember(const char *path) {
  InputFile file(path);
  std::array<unsigned char, 16 * 1024> input;
  std::size_t length = file.read(input.data(), 2);
  if (length < 2 || input[0] != 0x1f || input[1] != 0x8b) {
    return false;
  }
  z_stream stream{};
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) { // 16: gzip header and trailer
    return false;
  }
  // Decompress into a scratch buffer until the first member ends, then look for more bytes.
  std::array<unsigned char, 64 * 1024> scratch;
  stream.next_in = input.data();
  stream.avail_in = static_cast<uInt>(length);
  int status = Z_OK;
  while (status == Z_OK || status == Z_BUF_ERROR) {
    if (stream.avail_in == 0) {
      length = file.read(input.data(), input.size());
      if (length == 0) {
        break;
      }
      stream.next_in = input.data();
      stream.avail_in = static_cast<uInt>(length);
    }
    stream.next_out = scratch.data();
    stream.avail_out = static_cast<uInt>(scratch.size());
    status = inflate(&stream, Z_NO_FLUSH);
  }
  const bool more =
      status == Z_STREAM_END && (stream.avail_in > 0 || file.read(input.data(), 1) > 0);
  inflateEnd(&stream);
  return more;
}
