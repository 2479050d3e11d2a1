// Whether a run sets the default paper to Letter: from the user's locale, the PPD's market keyword
// and whether the PPD offers Letter at all.
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

// How many market keywords and PageSize choices named exactly "Letter" a PPD holds: what the
// decision rests on.
struct PPDPaperCounts {
  std::size_t marketKeywords = 0;
  std::size_t letterPageSizes = 0;
  bool operator==(const PPDPaperCounts &other) const {
    return marketKeywords == other.marketKeywords && letterPageSizes == other.letterPageSizes;
  }
};

// What the CUPS PPD parser tells about a PPD before its text is copied.
struct PPDPaperInfo {
  PPDMarketCode marketCode{};
  bool parsed = false; // the parser took the file for a PPD
  PPDPaperCounts kept; // as many as the parser kept
};

// Parses the PPD from `file`, which it reads to wherever the parser stops. A file that the parser
// rejects gives an empty market code and leaves the decision to the locale.
PPDPaperInfo readPPDMarketCode(cups_file_t *file);

// Reads the text of `file` to its end without the parser, and counts the lines that the parser may
// take for a market keyword or for a PageSize choice named "Letter". It errs toward counting a
// line: one that the parser skips, inside a quoted value for one, is counted too. Where its counts
// and the parser's agree, the parser lost none of the lines that the decision rests on.
PPDPaperCounts countPPDPaperLines(cups_file_t *file);

// The PPD's side of the decision, asked once the locale is one that uses Letter: false for a "J"
// market PPD or one that the parser read without a Letter page size, true otherwise.
bool decideUseLetter(const PPDPaperInfo &info);

// True exactly when the user's locale identifier is "en_US" or "en_CA" (the locales that use
// Letter, despite the name). Each platform has its own, in platform/.
bool isSystemMetricPaperSize();
