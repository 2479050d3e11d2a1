#include "gzip_members.h"

#include <cerrno>
#include <cstdlib>
#include <memory>

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

constexpr std::size_t InputSize = 16 * 1024;
constexpr std::size_t ScratchSize = 64 * 1024; // the decoded text goes here, and is dropped

} // namespace

GzipInput checkGzipInput(int fd, std::uint64_t &textLength) {
  textLength = 0;
  unsigned char magic[2];
  const ssize_t start = pread(fd, magic, sizeof magic, 0);
  if (start < 0) {
    return GzipInput::ReadFailed;
  }
  if (start < 2 || magic[0] != 0x1f || magic[1] != 0x8b) {
    return GzipInput::NotGzip;
  }
  // On the heap, so that the tool runs with as small a stack as cat does.
  const std::unique_ptr<unsigned char, decltype(&std::free)> buffers(
      static_cast<unsigned char *>(std::malloc(InputSize + ScratchSize)), std::free);
  Inflater inflater;
  if (!buffers || !inflater.ready) {
    return GzipInput::ReadFailed; // out of memory, with errno set
  }
  unsigned char *const input = buffers.get(), *const scratch = input + InputSize;
  z_stream &stream = inflater.stream;
  int status = Z_OK;
  int flush = Z_BLOCK; // the first inflate stops at the end of the header, which is measured then
  // One piece of the file after another, each decoded until it is used up or the member ends.
  for (off_t offset = 0;;) {
    const ssize_t length = pread(fd, input, InputSize, offset);
    if (length < 0) {
      return GzipInput::ReadFailed; // errno says why
    }
    if (status == Z_STREAM_END) { // the member ended exactly where the last piece did
      return length > 0 ? GzipInput::GoesOn : GzipInput::Whole;
    }
    if (length == 0) {
      return GzipInput::Damaged;
    }
    offset += length;
    stream.next_in = input;
    stream.avail_in = static_cast<uInt>(length);
    while (stream.avail_in > 0 && status == Z_OK) {
      stream.next_out = scratch;
      stream.avail_out = static_cast<uInt>(ScratchSize);
      status = inflate(&stream, flush);
      textLength += ScratchSize - stream.avail_out;
      if (flush == Z_BLOCK && (stream.data_type & 128) != 0) { // 128: the header is decoded
        if (stream.total_in > GzipHeaderRoom) {
          return GzipInput::LongHeader;
        }
        flush = Z_NO_FLUSH;
      }
    }
    if (status == Z_MEM_ERROR) { // inflate allocates its window as it starts on the data
      errno = ENOMEM;
      return GzipInput::ReadFailed;
    }
    if (status != Z_OK && status != Z_STREAM_END) {
      return GzipInput::Damaged;
    }
    if (status == Z_STREAM_END && stream.avail_in > 0) {
      return GzipInput::GoesOn;
    }
  }
}
