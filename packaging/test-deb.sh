#!/usr/bin/env bash
# Checks the package that `make package` left in BUILD_DIR: its files and Depends, lintian, and the
# same bytes from a second build (a copy of the tree on tmpfs, umask 077, another BUILD_DIR). Then
# autopkgtest installs it into this system and runs packaging/debian/tests/ from make package's
# copy of the tree; the package is removed again, also on failure, and must leave nothing behind.
# Where dpkg skips manual pages, a file in /etc/dpkg/dpkg.cfg.d/ lets its page through meanwhile.
# Usage: packaging/test-deb.sh BUILD_DIR   (as root, or with SUDO=sudo in the environment)
set -euo pipefail
name=ppd-paper-defaults
build=$(realpath "$1")
deb=$(echo "$build/${name}"_*.deb)
page=/usr/share/man/man1/$name.1.gz
fail() { echo "package test: $*" >&2; exit 1; }
[ -f "$deb" ] || fail "want exactly one $build/${name}_*.deb"
dpkg-query -W -f='${Status}' $name 2>/dev/null | grep -qx 'install ok installed' && fail "$name is installed already"

# Root's ordinary directories aside, only these files, owned by root, with the usual modes: a stray
# 0700 directory or an installed test program would show here.
contents=$(dpkg-deb -c "$deb" | awk '!($1 == "drwxr-xr-x" && $2 == "root/root") {print $1, $2, $6}' | sort)
[ "$contents" = "-rw-r--r-- root/root ./usr/share/doc/$name/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/$name/copyright
-rw-r--r-- root/root .$page
-rwxr-xr-x root/root ./usr/bin/$name" ] || fail "unexpected contents of $deb:"$'\n'"$contents"
[[ $(dpkg-deb -f "$deb" Depends) == *"libcups2 ("* ]] || fail "Depends names no libcups2"
lintian --fail-on error,warning,info,pedantic --display-info --pedantic "$deb" || fail "lintian has something to say"

again=$(mktemp -d -p /dev/shm)
trap 'rm -rf "$again"' EXIT
mkdir "$again/src" && tar -C "$(dirname "$0")/.." --exclude=./.git --exclude='./build*' -cf - . | tar -xf - -C "$again/src"
(cd "$again/src" && umask 077 && make --no-print-directory package BUILD_DIR="$again/out" >"$again/log" 2>&1) ||
  { tail -20 "$again/log"; fail "the second build failed"; }
cmp "$deb" "$again/out/${deb##*/}" || fail "a second build in $again gave another package"
rm -rf "$again"

let_through=/etc/dpkg/dpkg.cfg.d/zz-$name-package-test
if grep -qs '^path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/*; then
  echo "package test: NOTE: dpkg skips manual pages here; $let_through lets $page through" >&2
  echo "path-include=$page" | ${SUDO-} tee "$let_through" >/dev/null
fi
remove() {
  ${SUDO-} rm -f "$let_through"
  ${SUDO-} env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300 remove $name
}
trap 'remove >/dev/null || true' EXIT
${SUDO-} autopkgtest "$deb" "$build/deb/src/" -- null || fail "autopkgtest failed"
trap - EXIT
remove
left=$(ls -d /usr/bin/$name $page /usr/share/doc/$name 2>/dev/null || true)
[ -z "$left" ] || fail "apt-get remove left $left"
echo "package test: ${deb##*/} built again the same, passed lintian and autopkgtest, and was removed"
