# Run by CPack after it has made the package (CPACK_POST_BUILD_SCRIPTS in deb.cmake). CPack adds up
# the sizes that the file system reports for directories, 4 KiB on ext4 and a few bytes on tmpfs,
# so that the package's Installed-Size depended on where it was built. Here it is computed as
# dpkg-gencontrol computes it (deb-substvars(5)): each regular file or symlink in KiB, rounded
# up, and 1 KiB for any other object, the top folder and each directory. The package is unpacked,
# given that field and packed again by dpkg-deb, which takes its timestamps from
# SOURCE_DATE_EPOCH, set by prepare.cmake.
foreach(deb ${CPACK_PACKAGE_FILES})
  set(tree ${deb}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB_RECURSE entries LIST_DIRECTORIES true ${tree}/*)
  set(size 1) # the top folder
  foreach(entry ${entries})
    if(entry MATCHES "^${tree}/DEBIAN(/|$)")
      continue()
    elseif(IS_SYMLINK ${entry})
      file(READ_SYMLINK ${entry} target)
      string(LENGTH "${target}" bytes)
    elseif(IS_DIRECTORY ${entry})
      set(bytes 1) # counts as 1 KiB, as anything else that is neither a file nor a symlink
    else()
      file(SIZE ${entry} bytes)
    endif()
    math(EXPR size "${size} + (${bytes} + 1023) / 1024")
  endforeach()
  file(READ ${tree}/DEBIAN/control control)
  string(REGEX REPLACE "\nInstalled-Size: [0-9]+\n" "\nInstalled-Size: ${size}\n" control "${control}")
  file(WRITE ${tree}/DEBIAN/control "${control}")
  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip --build ${tree} ${deb}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
