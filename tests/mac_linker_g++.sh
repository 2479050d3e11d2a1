#!/bin/sh
# g++ with a linker that, like Apple's, stops at any GNU ld long option or -z option: a build
# through it shows whether a Mac build would link.
case " $* " in *" -Wl,--"* | *" -Wl,-z"*) echo "ld: unknown option in: $*" >&2 && exit 1 ;; esac
exec g++ "$@"
