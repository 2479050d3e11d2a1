#!/usr/bin/env bash
# Builds the package from packaging/debian/ (plain dh) as a distribution would: in a minimal chroot
# of SUITE, made once by debootstrap in DIR and kept, offline, with neither the PPD packages nor a
# print server, with the distribution's flags and -Werror. dh runs the tests that a plain ctest runs;
# blhc --all must find nothing in the log. The packages are left in DIR/root/build.
# Usage: packaging/test-dh.sh SUITE DIR   (as root)
set -euo pipefail
suite=$1
dir=$(realpath -m "$2")
root=$dir/root
fail() { echo "dh build on $suite: $*" >&2; exit 1; }
# A command in the chroot, with /proc and /dev in a mount namespace that goes when it ends; $net
# may name unshare's --net.
chrooted() {
  unshare --mount --fork ${net-} sh -c \
    'mount -t proc proc "$0/proc" && mount --rbind /dev "$0/dev" && exec chroot "$0" "$@"' "$root" "$@"
}

[ -e "$root/.ready" ] || {
  rm -rf "$root" && mkdir -p "$dir"
  debootstrap --variant=minbase "$suite" "$root" >"$dir/debootstrap.log" 2>&1 ||
    { tail -20 "$dir/debootstrap.log"; fail "debootstrap failed"; }
  touch "$root/.ready"
}
rm -rf "$root/build"
make -C "$(dirname "$0")/.." --no-print-directory source-copy SOURCE_COPY="$root/build/src" >/dev/null
chrooted sh -c 'apt-get update -q && export DEBIAN_FRONTEND=noninteractive &&
  apt-get install -y -q --no-install-recommends build-essential blhc &&
  apt-get build-dep -y -q --no-install-recommends /build/src' >"$dir/apt.log" 2>&1 ||
  { tail -20 "$dir/apt.log"; fail "installing the build dependencies failed"; }

net=--net chrooted sh -c 'cd /build/src && DEB_CXXFLAGS_APPEND=-Werror dpkg-buildpackage -us -uc -b' \
  >"$root/build/build.log" 2>&1 ||
  { tail -40 "$root/build/build.log"; fail "the package did not build, or its tests failed (log: $root/build/build.log)"; }
grep -q 'tests passed, 0 tests failed' "$root/build/build.log" || fail "dh ran no tests"
chrooted blhc --all /build/build.log || fail "blhc finds fault with the build log"
echo "dh build on $suite: built offline, tests passed, blhc has nothing to say; packages in $root/build"
