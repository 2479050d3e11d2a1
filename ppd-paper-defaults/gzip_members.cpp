// The gzip check: decodes the first member, its text dropped, and names what keeps the file from
// coming out whole.
#include "gzip_members.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <unistd.h>
#include <zlib.h>

namespace {

// inflate's state, freed however the check ends.
struct Inflater {
  z_stream stream{};
  bool ready = inflateInit2(&stream, 16 + MAX_WBITS) == Z_OK; // 16: gzip header and trailer
  ~Inflater() {
    if (ready) {
      inflateEnd(&stream);
    }
  }
};

constexpr std::size_t InputSize = 16 * 1024;
constexpr std::size_t ScratchSize = 64 * 1024; // the decoded text goes here, and is dropped

// A member that is cut short or fails its CRC-32, length or header CRC check.
constexpr const char *Damaged = "damaged or truncated gzip data";
// A whole member followed by more: members, as `cat a.gz b.gz` makes, or trailing bytes.
constexpr const char *GoesOn = "gzip data goes on after its first member, and the CUPS file layer "
                               "would not copy the rest as it is; decompress it first";
// A header longer than GzipHeaderRoom, such as one with a long stored file name.
constexpr const char *LongHeader =
    "gzip header longer than the 4 KiB that the CUPS file layer reads; decompress it first";

} // namespace

ssize_t readAt(int fd, void *buffer, std::size_t size, off_t offset) {
  ssize_t length;
  do {
    length = pread(fd, buffer, size, offset);
  } while (length < 0 && errno == EINTR);
  return length;
}

const char *checkGzipInput(int fd, std::optional<std::uint64_t> &textLength) {
  std::uint64_t decoded = 0;
  unsigned char magic[2];
  const ssize_t start = readAt(fd, magic, sizeof magic, 0);
  if (start < 0) {
    return std::strerror(errno);
  }
  if (start < 2 || magic[0] != 0x1f || magic[1] != 0x8b) {
    return nullptr;
  }
  // On the heap, so that the tool runs with as small a stack as cat does.
  const std::unique_ptr<unsigned char, decltype(&std::free)> buffers(
      static_cast<unsigned char *>(std::malloc(InputSize + ScratchSize)), std::free);
  Inflater inflater;
  if (!buffers || !inflater.ready) {
    return std::strerror(errno); // out of memory
  }
  unsigned char *const input = buffers.get(), *const scratch = input + InputSize;
  z_stream &stream = inflater.stream;
  int status = Z_OK;
  int flush = Z_BLOCK; // the first inflate stops at the end of the header, which is measured then
  // One piece of the file after another, each decoded until it is used up or the member ends.
  for (off_t offset = 0;;) {
    const ssize_t length = readAt(fd, input, InputSize, offset);
    if (length < 0) {
      return std::strerror(errno);
    }
    if (status == Z_STREAM_END) { // the member ended exactly where the last piece did
      if (length > 0) {
        return GoesOn;
      }
      textLength = decoded;
      return nullptr;
    }
    if (length == 0) {
      return Damaged;
    }
    offset += length;
    stream.next_in = input;
    stream.avail_in = static_cast<uInt>(length);
    while (stream.avail_in > 0 && status == Z_OK) {
      stream.next_out = scratch;
      stream.avail_out = static_cast<uInt>(ScratchSize);
      status = inflate(&stream, flush);
      decoded += ScratchSize - stream.avail_out;
      if (flush == Z_BLOCK && (stream.data_type & 128) != 0) { // 128: the header is decoded
        if (stream.total_in > GzipHeaderRoom) {
          return LongHeader;
        }
        flush = Z_NO_FLUSH;
      }
    }
    if (status == Z_MEM_ERROR) { // inflate allocates its window as it starts on the data
      return std::strerror(ENOMEM);
    }
    if (status != Z_OK && status != Z_STREAM_END) {
      return Damaged;
    }
    if (status == Z_STREAM_END && stream.avail_in > 0) {
      return GoesOn;
    }
  }
}
