# Debian's cross compiler and the i386 libraries of multiarch (make test-cross).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE i686-linux-gnu)
# i386 programs run on an amd64 machine as they are.
