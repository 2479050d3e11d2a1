#!/usr/bin/env bash
# Checks the package that `make package` left in BUILD_DIR: its files, their owners and modes;
# lintian; and the same bytes from a second build (on tmpfs, umask 077, with the nocheck profile),
# whose log must show no test program built and no test run. Then autopkgtest installs it into
# this system and runs packaging/debian/tests/; apt-get removes it again, also on failure.
# Usage: packaging/test-deb.sh BUILD_DIR   (as root, or with SUDO=sudo in the environment)
set -euo pipefail
name=ppd-paper-defaults
build=$(realpath "$1")
deb=$(echo "$build/${name}"_*.deb)
fail() { echo "package test: $*" >&2; exit 1; }
[ -f "$deb" ] || fail "want exactly one $build/${name}_*.deb"
[ "$(dpkg-query -W -f='${db:Status-Status}' $name 2>/dev/null)" != installed ] ||
  fail "$name is installed already"

# Root's ordinary directories aside, only these files, owned by root, with the usual modes: a stray
# 0700 directory or an installed test program would show here.
contents=$(dpkg-deb -c "$deb" |
  awk '!($1 == "drwxr-xr-x" && $2 == "root/root") {print $1, $2, $6}' | sort)
[ "$contents" = "-rw-r--r-- root/root ./usr/share/doc/$name/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/$name/copyright
-rw-r--r-- root/root ./usr/share/man/man1/$name.1.gz
-rwxr-xr-x root/root ./usr/bin/$name" ] || fail "unexpected contents of $deb:"$'\n'"$contents"
lintian --fail-on error,warning,info,pedantic --display-info --pedantic "$deb" ||
  fail "lintian has something to say"

again=$(mktemp -d -p /dev/shm)
remove() { ${SUDO-} apt-get -y -o DPkg::Lock::Timeout=300 remove $name >/dev/null; }
trap 'rm -rf "$again"; ! dpkg -s $name >/dev/null 2>&1 || remove' EXIT
(umask 077 && DEB_BUILD_PROFILES=nocheck make -C "${0%/*}/.." --no-print-directory package \
  BUILD_DIR="$again" >"$again/log" 2>&1) || { tail -20 "$again/log"; fail "a second build failed"; }
cmp "$deb" "$again/${deb##*/}" || fail "a second build in $again gave another package"
! grep -E 'cli-tests|unit-tests|simulate|ctest' "$again/deb/build.log" ||
  fail "the second build, with the nocheck profile, built or ran tests above"
${SUDO-} autopkgtest "$deb" "$build/deb/src/" -- null || fail "autopkgtest failed"
echo "package test: ${deb##*/} built again the same, passed lintian and autopkgtest"
