// The tool's exit statuses, its one-line failure message on standard error, and the buffers and
// the closing of standard output.
#pragma once

inline constexpr int ExitSuccess = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;

// Prints "ppd-paper-defaults: NAME: REASON[: DETAIL]" as one line, NAME quoted where a terminal
// would not show it as it is. Allocates nothing, and the line leaves in one write when it fits in
// BUFSIZ (setUpStandardStreams). Returns ExitFailure.
int fail(const char *name, const char *reason, const char *detail = nullptr);

// Gives standard output a buffer of 64 KiB, so that an output of up to 64 KiB leaves in one write
// and a reader that stops after a line finds it whole in the pipe; and standard error a line
// buffer, so that a message written in pieces (fail) leaves at its line feed.
void setUpStandardStreams();

// Flushes and closes standard output; false when that fails, so that a write error reported only
// at close still fails the run.
bool closeStandardOutput();
