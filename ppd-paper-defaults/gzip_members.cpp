#include "gzip_members.h"

#include <array>
#include <cerrno>
#include <optional>

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

GzipCheck checkGzipInput(int fd) {
  std::array<unsigned char, 16 * 1024> input;
  std::array<unsigned char, 64 * 1024> scratch; // the decoded text goes here, and is dropped
  std::optional<Inflater> inflater;             // made once the file begins as gzip data does
  std::uint64_t textLength = 0;
  int status = Z_OK;
  int flush = Z_BLOCK; // the first inflate stops at the end of the header, which is measured then
  // One piece of the file after another, each decoded until it is used up or the member ends.
  for (off_t offset = 0;;) {
    const ssize_t length = pread(fd, input.data(), input.size(), offset);
    if (length < 0) {
      return {GzipInput::ReadFailed, 0}; // errno says why
    }
    if (offset == 0) {
      if (length < 2 || input[0] != 0x1f || input[1] != 0x8b) {
        return {GzipInput::NotGzip, 0};
      }
      if (!inflater.emplace().ready) {
        return {GzipInput::ReadFailed, 0}; // out of memory, with errno set
      }
    }
    if (status == Z_STREAM_END) { // the member ended exactly where the last piece did
      return {length > 0 ? GzipInput::GoesOn : GzipInput::Whole, textLength};
    }
    if (length == 0) {
      return {GzipInput::Damaged, 0};
    }
    offset += length;
    z_stream &stream = inflater->stream;
    stream.next_in = input.data();
    stream.avail_in = static_cast<uInt>(length);
    while (stream.avail_in > 0 && status == Z_OK) {
      stream.next_out = scratch.data();
      stream.avail_out = static_cast<uInt>(scratch.size());
      status = inflate(&stream, flush);
      textLength += scratch.size() - stream.avail_out;
      if (flush == Z_BLOCK && (stream.data_type & 128) != 0) { // 128: the header is decoded
        if (stream.total_in > GzipHeaderRoom) {
          return {GzipInput::LongHeader, 0};
        }
        flush = Z_NO_FLUSH;
      }
    }
    if (status != Z_OK && status != Z_STREAM_END) {
      return {GzipInput::Damaged, 0};
    }
    if (status == Z_STREAM_END && stream.avail_in > 0) {
      return {GzipInput::GoesOn, 0};
    }
  }
}
