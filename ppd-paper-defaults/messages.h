// The tool's exit statuses, its one-line failure message on standard error, and the closing of
// standard output.
#pragma once

inline constexpr int ExitSuccess = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;

// Prints "ppd-paper-defaults: NAME: REASON[: DETAIL]" as one line, NAME quoted where a terminal
// would not show it as it is. Allocates nothing: standard error has a line buffer of the tool's
// own (main), so the line leaves in one write. Returns ExitFailure.
int fail(const char *name, const char *reason, const char *detail = nullptr);

// Flushes and closes standard output; false when that fails, so that a write error reported only
// at close still fails the run.
bool closeStandardOutput();
