// Off Foundation nothing is released late, so the scope has nothing to do.
#include "release_scope.h"

ObjectReleaseScope::ObjectReleaseScope() = default;
ObjectReleaseScope::~ObjectReleaseScope() = default;
