// A check for gzip files that the CUPS file layer cannot read whole.
#pragma once

// True when the file at `path` is gzip data that goes on after the end of its first member: more
// members, as `cat a.gz b.gz` makes, or trailing bytes. The CUPS file layer stops at the end of the
// first member and drops or garbles the rest, so such a file would come out cut short. False for
// anything else, including a file that cannot be opened and damaged or truncated gzip data, which
// the text read itself reports.
bool hasDataAfterFirstGzipMember(const char *path);
