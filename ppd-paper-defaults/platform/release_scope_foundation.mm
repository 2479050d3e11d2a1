// Objects that Foundation autoreleases during the run, the locale among them, go into this pool
// and are released when it drains. Without a pool GNUstep would leak them and say so on stderr.
#include "release_scope.h"

#import <Foundation/Foundation.h>

ObjectReleaseScope::ObjectReleaseScope() : pool_([[NSAutoreleasePool alloc] init]) {}

ObjectReleaseScope::~ObjectReleaseScope() {
  [static_cast<NSAutoreleasePool *>(pool_) drain];
}
