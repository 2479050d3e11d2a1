// A check for gzip files that the CUPS file layer would not read whole, and its verdicts; and the
// read at an offset that the tool's own reads of the PPD use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include <sys/types.h>

// The CUPS file layer looks for the whole gzip header in its first read, of 4 KiB.
inline constexpr std::uint64_t GzipHeaderRoom = 4096;

// Decodes the first gzip member of the open file `fd` from its first byte, reading with pread so
// that the descriptor's offset does not move. The CUPS file layer checks neither the length nor
// the header CRC, and it stops at the end of the first member, dropping or garbling the rest; so
// only one whole member comes out as it is. Returns why the file cannot be copied (the message, or
// the error of a read or allocation that failed), or nullptr for a file that is not gzip data or
// is one whole member; then `textLength` is set to the decoded length for gzip data only.
const char *checkGzipInput(int fd, std::optional<std::uint64_t> &textLength);

// pread, tried again when a signal interrupts it, as the CUPS file layer does with its reads; the
// tool's own reads of the PPD (this check, and the look past the end of each pass) go through it.
ssize_t readAt(int fd, void *buffer, std::size_t size, off_t offset);
