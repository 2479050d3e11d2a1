#!/usr/bin/env bash
# Builds the package as a Debian maintainer's first packaging would (packaging/debian/, whose rules
# say only `dh $@ --buildsystem=cmake`), in a minimal chroot of SUITE made with debootstrap,
# offline, with neither the PPD packages nor a print server. dh configures, builds, runs the tests
# that a plain `ctest` runs and packs. The distribution's flags come from dpkg-buildflags, with
# -Werror added, so that a warning of SUITE's compiler fails the build; then `blhc --all` must
# find nothing in the build log. The chroot is made once in DIR, and the package is left there.
# Usage: packaging/test-dh.sh SUITE DIR   (as root)
set -euo pipefail
suite=$1
dir=$(realpath -m "$2")
root=$dir/root
top=$(realpath "$(dirname "$0")/..")
fail() { echo "dh build on $suite: $*" >&2; exit 1; }
# Runs a command in the chroot, with /proc and /dev, in a mount namespace of its own that takes
# them away again when the command ends. unshare's further options come first.
chrooted() {
  local options=()
  while [ "$1" != -- ]; do options+=("$1"); shift; done
  shift
  unshare --mount --fork "${options[@]}" sh -c \
    'mount -t proc proc "$0/proc" && mount --rbind /dev "$0/dev" && exec chroot "$0" "$@"' \
    "$root" "$@"
}

[ -e "$root/.ready" ] || {
  rm -rf "$root" && mkdir -p "$dir"
  debootstrap --variant=minbase "$suite" "$root" >"$dir/debootstrap.log" 2>&1 ||
    { tail -20 "$dir/debootstrap.log"; fail "debootstrap failed"; }
  touch "$root/.ready"
}
# The source as a release tarball holds it, with packaging/debian/ as the maintainer's debian/.
src=$root/build/src
rm -rf "$root/build" && mkdir -p "$src"
tar -C "$top" --exclude=./.git --exclude='./build*' -cf - . | tar -xf - -C "$src"
cp -r "$src/packaging/debian" "$src/debian"
# What debian/control asks for, and blhc; apt installs only what is missing.
chrooted -- sh -c 'apt-get update -q && export DEBIAN_FRONTEND=noninteractive &&
  apt-get install -y -q --no-install-recommends build-essential blhc &&
  apt-get build-dep -y -q --no-install-recommends /build/src' >"$dir/apt.log" 2>&1 ||
  { tail -20 "$dir/apt.log"; fail "installing the build dependencies failed"; }

chrooted --net -- sh -c 'cd /build/src && DEB_CXXFLAGS_APPEND=-Werror dpkg-buildpackage -us -uc -b' \
  >"$root/build/build.log" 2>&1 ||
  { tail -40 "$root/build/build.log"; fail "the package did not build, or its tests failed (log: $root/build/build.log)"; }
grep -q 'tests passed, 0 tests failed' "$root/build/build.log" || fail "dh ran no tests"
chrooted -- blhc --all /build/build.log || fail "blhc finds fault with the build log"
echo "dh build on $suite: built offline, tests passed, blhc has nothing to say; packages in $root/build"
