#!/usr/bin/env bash
# Builds the package from packaging/debian/ (plain dh) as a distribution would: by pbuilder in a
# buildd chroot of SUITE, whose base.tgz is kept in DIR (made again after a day), offline. Twice:
# with the distribution's flags and -Werror, where dh must pass the tests and blhc --all find
# nothing in the log; and with the nocheck profile and no GoogleTest, whose log must show no test
# program built and no test run, and whose package must be the first one, byte for byte.
# Usage: packaging/test-dh.sh SUITE DIR   (as root; packages and logs in DIR/result, DIR/nocheck)
set -euo pipefail
suite=$1
top=$(realpath "${0%/*}/..")
mkdir -p "$2/aptcache" "$2/place" && cd "$2"
fail() { echo "dh build on $suite: $*" >&2; exit 1; }
# eatmydata spares dpkg's syncs while the build dependencies are installed: half the time.
echo EATMYDATA=yes >pbuilderrc
pb() { # LOG ACTION OPTION...
  pbuilder "$2" --configfile "$PWD/pbuilderrc" --basetgz "$PWD/base.tgz" --buildplace "$PWD/place" \
    --aptcache "$PWD/aptcache/" "${@:3}" >"$1" 2>&1 || { tail -40 "$1"; fail "$2 failed: $PWD/$1"; }
}
[ -e base.tgz ] || pb create.log create --distribution "$suite" --extrapackages eatmydata
[ -z "$(find base.tgz -mtime +0)" ] || pb update.log update

rm -rf src result nocheck && mkdir result nocheck
make -C "$top" --no-print-directory source-copy SOURCE_COPY="$PWD/src/tree" >/dev/null
(cd src && dpkg-source -b tree >/dev/null)
export DEB_BUILD_OPTIONS="parallel=2 noautodbgsym"
build() { pb "$1/build.log" build --buildresult "$PWD/$1" --debbuildopts -b "${@:2}" src/*.dsc; }
DEB_CXXFLAGS_APPEND=-Werror build result
grep -q 'tests passed, 0 tests failed' result/build.log || fail "dh ran no tests"
blhc --all result/build.log || fail "blhc finds fault with the build log"
build nocheck --profiles nocheck
! grep -E 'libgtest|cli-tests|unit-tests|simulate|ctest' nocheck/build.log ||
  fail "the nocheck build above had GoogleTest, or built or ran tests"
cmp result/*.deb nocheck/*.deb || fail "the nocheck build gave another package"
echo "dh build on $suite: passed, offline, with and without the tests; packages in $PWD/result"
