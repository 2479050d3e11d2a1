# The Debian package: `cpack -G DEB` in the build directory (`make package` at the top). It holds
# what the install rules install: the tool, its manual page, its changelog and its copyright.
set(PPD_PAPER_DEFAULTS_MAINTAINER "ppd-paper-defaults developer <dev@ppd-paper-defaults.invalid>"
  CACHE STRING "Maintainer field of the Debian package")

# The changelog, compressed as Debian ships it (gzip -9n, as the manual page).
add_custom_command(OUTPUT changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_LIST_DIR}/debian/changelog changelog
  COMMAND ${GZIP_EXECUTABLE} -9nf changelog
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/debian/changelog
  VERBATIM)
add_custom_target(changelog ALL DEPENDS changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/debian/copyright
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_CONTACT "${PPD_PAPER_DEFAULTS_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "set a PPD file's default paper to Letter for US and Canadian locales")
# Lines of at most 79 characters, as dpkg shows them; no double quotes (CPack does not escape them).
set(CPACK_PACKAGE_DESCRIPTION
"ppd-paper-defaults writes a PostScript Printer Description (PPD) file to
standard output. When the PPD offers the Letter page size, is not a J market
model, and the user's locale is en_US or en_CA, its default page size, page
region, imageable area and paper dimension are set to Letter. Every other
byte is copied as it is. gzip-compressed PPDs are read too.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Depends is computed by dpkg-shlibdeps (from dpkg-dev) from the libraries the tool links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Run on the staged files before they are packed: the tool stripped as Debian strips it, and the
# package's timestamps taken from the newest changelog entry (packaging/prepare.cmake).
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/prepare.cmake)
set(CPACK_PPD_PAPER_DEFAULTS_STRIP "${CMAKE_STRIP}")
set(CPACK_PPD_PAPER_DEFAULTS_CHANGELOG ${CMAKE_CURRENT_LIST_DIR}/debian/changelog)
# Run on the package once made: its Installed-Size as dpkg computes it, the same on any file system
# (packaging/installed-size.cmake).
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/installed-size.cmake)
include(CPack)
