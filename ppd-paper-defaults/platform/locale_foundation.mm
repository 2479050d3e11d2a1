// The locale test with Foundation: the user's locale as NSLocale names it. On macOS that is the
// region setting; GNUstep takes it from LC_ALL, LC_MESSAGES or LANG and ignores LC_PAPER.
#include "../paper_policy.h"

#import <Foundation/Foundation.h>

bool isSystemMetricPaperSize() {
  NSString *identifier = [[NSLocale currentLocale] localeIdentifier];
  // A nil identifier, from a platform that names no locale, answers NO to both.
  return [identifier isEqualToString:@"en_US"] || [identifier isEqualToString:@"en_CA"];
}
