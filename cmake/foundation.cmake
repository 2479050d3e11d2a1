# The Foundation layer: the locale from NSLocale and the run inside an NSAutoreleasePool. On Apple
# platforms it is the system's framework and the default. Elsewhere it is GNUstep, so that the same
# code can be built and tested here; the POSIX layer stays the default there.
if(APPLE)
  set(foundation_default ON)
else()
  set(foundation_default OFF)
endif()
option(PPD_PAPER_DEFAULTS_FOUNDATION
  "Take the locale from Foundation (GNUstep off Apple platforms)" ${foundation_default})
if(NOT PPD_PAPER_DEFAULTS_FOUNDATION)
  return()
endif()

# CMake picks clang++ for Objective-C++ even when C++ is built with g++; GNUstep's runtime headers
# come with gcc, so g++ builds both.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(CMAKE_OBJCXX_COMPILER "${CMAKE_CXX_COMPILER}")
endif()
enable_language(OBJCXX)
# The C++ standard for Objective-C++ too. CMake passes it to clang; g++ 12 has it by default.
set(CMAKE_OBJCXX_STANDARD ${CMAKE_CXX_STANDARD})
set(CMAKE_OBJCXX_STANDARD_REQUIRED ON)
set(CMAKE_OBJCXX_EXTENSIONS OFF)

# What the Objective-C++ sources need; the core library links it.
add_library(ppd-paper-defaults-foundation INTERFACE)
if(APPLE)
  target_link_libraries(ppd-paper-defaults-foundation INTERFACE "-framework Foundation")
  return()
endif()

find_program(GNUSTEP_CONFIG gnustep-config REQUIRED)
execute_process(COMMAND "${GNUSTEP_CONFIG}" --objc-flags
  OUTPUT_VARIABLE objc_flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${GNUSTEP_CONFIG}" --base-libs
  OUTPUT_VARIABLE base_libs OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
separate_arguments(objc_flags UNIX_COMMAND "${objc_flags}")
separate_arguments(base_libs UNIX_COMMAND "${base_libs}")
# Dependency files, the source directory, debug information and optimisation are the build's own
# business. GNUstep's headers are taken as system headers: they trip -Wpedantic and -Wextra.
list(REMOVE_ITEM objc_flags -MMD -MP -I. -g -O2)
list(TRANSFORM objc_flags REPLACE "^-I" "-isystem")
if(CMAKE_OBJCXX_COMPILER_ID STREQUAL "GNU")
  list(APPEND objc_flags -Wno-subobject-linkage)
else()
  # clang++ has to be told which runtime GNUstep uses, and where gcc keeps its objc/ headers.
  execute_process(COMMAND gcc -print-file-name=include
    OUTPUT_VARIABLE gcc_include OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  list(APPEND objc_flags -fobjc-runtime=gcc -idirafter "${gcc_include}")
endif()
target_compile_options(ppd-paper-defaults-foundation INTERFACE
  "$<$<COMPILE_LANGUAGE:OBJCXX>:${objc_flags}>")
target_link_libraries(ppd-paper-defaults-foundation INTERFACE ${base_libs})
