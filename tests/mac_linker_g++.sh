#!/bin/sh
# g++ with a linker that, like Apple's, knows none of GNU ld's long options and stops at the first
# one it is given: a build through it shows whether a Mac build would link.
for arg; do
  case $arg in
  -Wl,--*)
    echo "ld: unknown option: ${arg#-Wl,}" >&2
    exit 1
    ;;
  esac
done
exec g++ "$@"
