# Debian's cross compiler; CMake finds the libraries of its multiarch directory (make test-cross).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
# i386 programs run on an amd64 machine as they are.
