// A check for gzip files that the CUPS file layer would not read whole.
#pragma once

#include <cstdint>

enum class GzipInput {
  NotGzip, // does not begin with the gzip magic bytes
  Whole,   // one member that decodes to its end, CRC-32, length and header CRC checked
  Damaged, // a member that is cut short or fails one of those checks
  GoesOn,  // a whole member followed by more: members, as `cat a.gz b.gz` makes, or trailing bytes
  LongHeader, // a header longer than GzipHeaderRoom, such as one with a long stored file name
  ReadFailed, // the file could not be read, or memory ran out; errno says why
};

// The CUPS file layer looks for the whole gzip header in its first read, of 4 KiB.
inline constexpr std::uint64_t GzipHeaderRoom = 4096;

// Decodes the first gzip member of the open file `fd` from its first byte, reading with pread so
// that the descriptor's offset does not move. The CUPS file layer checks neither the length nor
// the header CRC, and it stops at the end of the first member, dropping or garbling the rest; so
// only a Whole file comes out as it is. For a Whole file, `textLength` is the decoded length.
GzipInput checkGzipInput(int fd, std::uint64_t &textLength);
