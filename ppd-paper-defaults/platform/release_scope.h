// The object-release scope that main opens first and that closes last, on every way out of the
// run: an NSAutoreleasePool with the Foundation layer, nothing with the POSIX one.
#pragma once

class ObjectReleaseScope {
public:
  ObjectReleaseScope();
  ~ObjectReleaseScope();
  ObjectReleaseScope(const ObjectReleaseScope &) = delete;
  ObjectReleaseScope &operator=(const ObjectReleaseScope &) = delete;

private:
  // The pool, as a plain pointer so that C++ code can hold the scope; unused off Foundation.
  [[maybe_unused]] void *pool_ = nullptr;
};
