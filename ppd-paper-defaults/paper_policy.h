// Whether a run sets the default paper to Letter: from the PPD's market keyword, whether the PPD
// offers Letter at all, and the user's locale.
#pragma once

#include <array>
#include <cstddef>

#include <cups/file.h>

inline constexpr const char *PPDMarketKey = "TOLVMarket";
inline constexpr const char *PPDMarketW = "W";
inline constexpr const char *PPDMarketJ = "J";
inline constexpr const char *PPDMarketA = "A";

inline constexpr std::size_t PPDMarketCodeSize = 32;

// The market keyword's value, cut to 32 bytes as strncpy does: no terminating NUL when it fills
// the field, zero bytes when there is no value.
using PPDMarketCode = std::array<char, PPDMarketCodeSize>;

// What the CUPS PPD parser tells about a PPD before its text is copied.
struct PPDPaperInfo {
  PPDMarketCode marketCode{};
  // The parser read the PPD and its PageSize option has no choice named exactly "Letter".
  bool lacksLetter = false;
};

// Parses the PPD from `file`, which it reads to wherever the parser stops. A file that the parser
// rejects gives an empty market code and leaves the decision to the locale.
PPDPaperInfo readPPDMarketCode(cups_file_t *file);

// False for a "J" market PPD or one without Letter; otherwise whether the locale uses Letter.
bool decideUseLetter(const PPDPaperInfo &info);

// True exactly when the user's locale identifier is "en_US" or "en_CA" (the locales that use
// Letter, despite the name). Each platform has its own, in platform/.
bool isSystemMetricPaperSize();
