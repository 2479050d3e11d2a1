#include "gzip_members.h"

#include <array>
#include <cerrno>

#include <unistd.h>
#include <zlib.h>

namespace {

// inflate's state, freed however the check ends, with errno kept for a read that failed.
struct Inflater {
  z_stream stream{};
  bool ready = inflateInit2(&stream, 16 + MAX_WBITS) == Z_OK; // 16: gzip header and trailer
  ~Inflater() {
    const int error = errno;
    if (ready) {
      inflateEnd(&stream);
    }
    errno = error;
  }
};

} // namespace

GzipInput checkGzipInput(int fd) {
  std::array<unsigned char, 16 * 1024> input;
  ssize_t length = pread(fd, input.data(), input.size(), 0);
  if (length < 0) {
    return GzipInput::ReadFailed;
  }
  if (length < 2 || input[0] != 0x1f || input[1] != 0x8b) {
    return GzipInput::NotGzip;
  }
  Inflater inflater;
  if (!inflater.ready) {
    return GzipInput::ReadFailed; // out of memory, with errno set
  }
  z_stream &stream = inflater.stream;
  off_t offset = length;
  stream.next_in = input.data();
  stream.avail_in = static_cast<uInt>(length);
  // Decode into a scratch buffer until the member ends, fails a check or runs out of input.
  std::array<unsigned char, 64 * 1024> scratch;
  int status = Z_OK;
  while (status == Z_OK) {
    if (stream.avail_in == 0) {
      length = pread(fd, input.data(), input.size(), offset);
      if (length <= 0) {
        return length < 0 ? GzipInput::ReadFailed : GzipInput::Damaged;
      }
      offset += length;
      stream.next_in = input.data();
      stream.avail_in = static_cast<uInt>(length);
    }
    stream.next_out = scratch.data();
    stream.avail_out = static_cast<uInt>(scratch.size());
    status = inflate(&stream, Z_NO_FLUSH);
  }
  if (status != Z_STREAM_END) {
    return GzipInput::Damaged;
  }
  if (stream.avail_in > 0) {
    return GzipInput::GoesOn;
  }
  length = pread(fd, input.data(), 1, offset);
  return length < 0 ? GzipInput::ReadFailed : length > 0 ? GzipInput::GoesOn : GzipInput::Whole;
}
