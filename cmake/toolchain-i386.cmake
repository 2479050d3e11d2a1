# Debian's cross compiler; CMake finds the libraries of its multiarch directory (make test-cross).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
# An amd64 kernel runs i386 programs as they are only where its ia32 emulation is on; newer
# kernels can turn it off ("Exec format error"). A small i386 program, run once per build folder,
# decides; where the kernel refuses it, i386 programs run through qemu-user, as ARM's do.
if(NOT DEFINED CACHE{PPD_PAPER_DEFAULTS_I386_NATIVE})
  set(probe ${CMAKE_BINARY_DIR}/CMakeFiles/i386-probe)
  file(WRITE ${probe}.cpp "int main() { return 0; }\n")
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} ${probe}.cpp -o ${probe} COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${probe} RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
  if(status EQUAL 0)
    set(PPD_PAPER_DEFAULTS_I386_NATIVE ON CACHE BOOL "This kernel runs i386 programs")
  else()
    set(PPD_PAPER_DEFAULTS_I386_NATIVE OFF CACHE BOOL "This kernel runs i386 programs")
    message(STATUS "This kernel does not run i386 programs: they run through qemu-i386")
  endif()
endif()
# The checks' own small builds see the answer too, instead of probing again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PPD_PAPER_DEFAULTS_I386_NATIVE)
if(NOT PPD_PAPER_DEFAULTS_I386_NATIVE)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386)
endif()
