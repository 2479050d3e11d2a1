# Hardening of the tool, as Debian builds its packages: a stack protector, stack clash probes,
# control-flow protection on x86, _FORTIFY_SOURCE where there is optimisation, a position-
# independent executable, and read-only relocations bound at start-up. Each flag is passed only
# where the compiler or linker takes it: Apple's linker has no -z options, and -fcf-protection is
# for x86 alone. ppd_paper_defaults_harden(TARGET) applies them to a target.
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)
include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)

set(PPD_PAPER_DEFAULTS_HARDENING_FLAGS "")
foreach(flag -fstack-protector-strong -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "PPD_PAPER_DEFAULTS_CXX${flag}" accepted)
  check_cxx_compiler_flag(${flag} ${accepted})
  if(${accepted})
    list(APPEND PPD_PAPER_DEFAULTS_HARDENING_FLAGS ${flag})
  endif()
endforeach()
# _FORTIFY_SOURCE needs optimisation, and AddressSanitizer does its checks itself. A compiler
# that sets it already (Ubuntu's sets 3) would warn of a redefinition without the -U.
if(NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize=[^ ]*address")
  foreach(flag -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2)
    list(APPEND PPD_PAPER_DEFAULTS_HARDENING_FLAGS
      "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:${flag}>")
  endforeach()
endif()
check_linker_flag(CXX "LINKER:-z,relro,-z,now" PPD_PAPER_DEFAULTS_LINKER_RELRO_NOW)

function(ppd_paper_defaults_harden target)
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_compile_options(${target} PRIVATE ${PPD_PAPER_DEFAULTS_HARDENING_FLAGS})
  if(PPD_PAPER_DEFAULTS_LINKER_RELRO_NOW)
    target_link_options(${target} PRIVATE "LINKER:-z,relro,-z,now")
  endif()
endfunction()
