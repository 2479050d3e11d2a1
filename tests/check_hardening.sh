#!/bin/sh
# Checks with hardening-check (devscripts) that each PROGRAM is built hardened.
# Usage: tests/check_hardening.sh CXX PROGRAM...   (CXX: the compiler that built them)
# Control flow integrity is required only where CXX can mark a program at all, and on x86 the
# stack clash probes of fixed frames, which hardening-check misses, are looked for (HACKING.md).
set -eu
cxx=$1
shift
probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
skip=
if ! { echo 'int main() {}' | "$cxx" -fcf-protection -x c++ - -o "$probe"; } 2>/dev/null ||
  ! readelf -n "$probe" | grep -q 'x86 feature: IBT, SHSTK'; then
  echo "check_hardening: NOTE: $cxx marks no program for control flow integrity" >&2
  skip=--nocfprotection
fi
hardening-check $skip "$@"
for program; do
  if readelf -h "$program" | grep -Eq 'Machine: *(Advanced Micro Devices X86-64|Intel 80386)' &&
    ! objdump -d "$program" | grep -Eq 'or[lq] +\$0x0,\(%[re]sp\)'; then
    echo "check_hardening: $program: no stack clash probes" >&2
    exit 1
  fi
done
