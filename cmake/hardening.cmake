# Hardening, as Debian builds its packages, for every target defined after this file is included:
# a stack protector, stack clash probes, control-flow protection on x86, _FORTIFY_SOURCE where
# there is optimisation, position-independent code, and read-only relocations bound at start-up.
# Each flag is passed only where the compiler or linker takes it (Apple's linker has no -z
# options, and -fcf-protection is for x86 alone). Ours come after the flags given to CMake on the
# command line, and would win, so each is left out where those flags, or the compiler itself,
# choose already: a distribution's -D_FORTIFY_SOURCE=3 or -fstack-protector-all stays as it is.
include(CheckCXXCompilerFlag)
include(CheckCXXSourceCompiles)
include(CheckLinkerFlag)
include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

string(TOUPPER "${CMAKE_BUILD_TYPE}" build_type)
set(given_flags "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${build_type}}")
foreach(flag -fstack-protector-strong -fstack-clash-protection -fcf-protection)
  string(REGEX REPLACE "^-f|-strong$" "" name ${flag})
  string(MAKE_C_IDENTIFIER "PPD_PAPER_DEFAULTS_CXX${flag}" accepted)
  check_cxx_compiler_flag(${flag} ${accepted})
  if(${accepted} AND NOT given_flags MATCHES "(^| )-f(no-)?${name}")
    add_compile_options(${flag})
  endif()
endforeach()
# _FORTIFY_SOURCE needs optimisation, and AddressSanitizer does its checks itself. Some compilers
# define it when optimising (Ubuntu's, as 3), hence the -O2 of the check. It is made at every
# configure, as the flags may have changed since the last.
if(NOT given_flags MATCHES "-fsanitize=[^ ]*address")
  unset(PPD_PAPER_DEFAULTS_NO_FORTIFY_SOURCE_GIVEN CACHE)
  set(CMAKE_REQUIRED_FLAGS "-O2 ${CMAKE_CXX_FLAGS_${build_type}}")
  check_cxx_source_compiles("#ifdef _FORTIFY_SOURCE\n#error\n#endif\nint main() {}"
    PPD_PAPER_DEFAULTS_NO_FORTIFY_SOURCE_GIVEN)
  unset(CMAKE_REQUIRED_FLAGS)
  if(PPD_PAPER_DEFAULTS_NO_FORTIFY_SOURCE_GIVEN)
    add_compile_options("$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-D_FORTIFY_SOURCE=2>")
  endif()
endif()
check_linker_flag(CXX "LINKER:-z,relro,-z,now" PPD_PAPER_DEFAULTS_LINKER_RELRO_NOW)
if(PPD_PAPER_DEFAULTS_LINKER_RELRO_NOW)
  add_link_options(LINKER:-z,relro LINKER:-z,now) # apart, as Debian's log checker reads them
endif()

