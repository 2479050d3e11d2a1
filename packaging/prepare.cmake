# Run by CPack after it has installed the package's files into its staging folder, before it packs
# them (CPACK_PRE_BUILD_SCRIPTS in deb.cmake).

# The tool stripped as Debian's dh_strip strips programs: no symbols, and no .comment or .note
# section, which name the compilers that built the objects in it.
file(GLOB_RECURSE programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
execute_process(COMMAND "${CPACK_PPD_PAPER_DEFAULTS_STRIP}" --remove-section=.comment
  --remove-section=.note ${programs} COMMAND_ERROR_IS_FATAL ANY)

# Timestamps from the newest changelog entry, as Debian's tools take them, unless
# SOURCE_DATE_EPOCH is set: the same source then gives the same package, wherever and whenever it
# is built, from a git clone or from a tarball.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND dpkg-parsechangelog -l "${CPACK_PPD_PAPER_DEFAULTS_CHANGELOG}"
    -S Timestamp OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()
