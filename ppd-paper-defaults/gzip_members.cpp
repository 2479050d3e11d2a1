#include "gzip_members.h"

#include <array>
#include <cstdio>
#include <memory>

#include <zlib.h>

namespace {

using File = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

// Decompresses, into a scratch buffer, the gzip member that starts `input` and the rest of
// `file`. Returns true when the member ends cleanly and bytes follow it.
bool endsBeforeTheFile(std::FILE *file, unsigned char *input, std::size_t inputSize,
                       std::size_t length) {
  z_stream stream{};
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) { // 16: gzip header and trailer
    return false;
  }
  std::array<unsigned char, 64 * 1024> scratch;
  stream.next_in = input;
  stream.avail_in = static_cast<uInt>(length);
  int status = Z_OK;
  while (status == Z_OK || status == Z_BUF_ERROR) {
    if (stream.avail_in == 0) {
      length = std::fread(input, 1, inputSize, file);
      if (length == 0) {
        break;
      }
      stream.next_in = input;
      stream.avail_in = static_cast<uInt>(length);
    }
    stream.next_out = scratch.data();
    stream.avail_out = static_cast<uInt>(scratch.size());
    status = inflate(&stream, Z_NO_FLUSH);
  }
  const bool more = status == Z_STREAM_END && (stream.avail_in > 0 || std::fgetc(file) != EOF);
  inflateEnd(&stream);
  return more;
}

} // namespace

bool hasDataAfterFirstGzipMember(const char *path) {
  const File file(std::fopen(path, "rb"), std::fclose);
  if (!file) {
    return false;
  }
  std::array<unsigned char, 16 * 1024> input;
  const std::size_t length = std::fread(input.data(), 1, 2, file.get());
  if (length < 2 || input[0] != 0x1f || input[1] != 0x8b) {
    return false;
  }
  return endsBeforeTheFile(file.get(), input.data(), input.size(), length);
}
