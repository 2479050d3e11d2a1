// The PPD file, opened once and read from that open file: by the PPD parser where the locale uses
// Letter, then as text for the copy, which the CUPS file layer decompresses when it is gzip data.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <cups/file.h>
#include <sys/stat.h>

// One open file for every pass: a second open could find another file at the path, or, where
// opening /dev/stdin duplicates descriptor 0, start where the parser stopped.
class PPDInput {
public:
  // Opens the PPD at `path` and checks that it can be copied whole. Returns why not, or nullptr.
  const char *open(const char *path);

  // The open file, for the PPD parser and the copy.
  cups_file_t *file() const { return file_.get(); }

  // After a pass over the text: why it ended before the end of the file, or nullptr. `error` is
  // errno as the read that ended the pass left it.
  const char *readProblem(int error) const;

  // Whether the text may differ from the one that was read ("file changed while it was read"), or
  // why the file cannot tell; nullptr when it is as it was at the open.
  const char *changeProblem() const;

  // Goes back to the first byte for the copy. Returns why it cannot, or nullptr.
  const char *rewind();

private:
  std::unique_ptr<cups_file_t, decltype(&cupsFileClose)> file_{nullptr, cupsFileClose};
  struct stat opened_ {};                 // as the file was when it was opened
  std::optional<std::uint64_t> gzipText_; // the decoded length of gzip input
};
