// The locale test off macOS: the identifier comes from the environment, as for the C library's
// LC_PAPER category, without needing the locale to be installed.
#include "../paper_policy.h"

#include <cstdlib>
#include <string_view>

bool isSystemMetricPaperSize() {
  std::string_view identifier;
  for (const char *name : {"LC_ALL", "LC_PAPER", "LANG"}) {
    const char *value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') {
      identifier = value;
      break;
    }
  }
  // "en_US.UTF-8" and "en_US@euro" name the en_US locale.
  identifier = identifier.substr(0, identifier.find_first_of(".@"));
  return identifier == "en_US" || identifier == "en_CA";
}
