#!/usr/bin/env bash
# Builds the package from packaging/debian/ (plain dh) as a distribution would, with pbuilder in a
# buildd-variant chroot of SUITE with eatmydata (its base.tgz made once in DIR and kept, refreshed
# when a day old), the network cut off while dpkg-buildpackage runs. Twice:
# - with the distribution's flags and -Werror: dh must run the tests and pass them, and blhc --all
#   must find nothing in the log;
# - with the nocheck profile, GoogleTest left out of the build environment: the log must show no
#   test program compiled and no test run, and the package must be the first build's, byte for byte.
# The packages and logs are left in DIR/result and DIR/nocheck.
# Usage: packaging/test-dh.sh SUITE DIR   (as root)
set -euo pipefail
suite=$1
dir=$(realpath -m "$2")
fail() { echo "dh build on $suite: $*" >&2; exit 1; }
mkdir -p "$dir/aptcache" "$dir/place"
# eatmydata spares dpkg's syncs while the build dependencies are installed: half the time.
echo EATMYDATA=yes >"$dir/pbuilderrc"
# pbuilder LOG ACTION OPTION...
pb() {
  pbuilder "$2" --configfile "$dir/pbuilderrc" --basetgz "$dir/base.tgz" \
    --aptcache "$dir/aptcache/" --buildplace "$dir/place" "${@:3}" >"$1" 2>&1 ||
    { tail -40 "$1"; fail "pbuilder $2 failed (log: $1)"; }
}
[ -e "$dir/base.tgz" ] ||
  pb "$dir/create.log" create --distribution "$suite" --extrapackages eatmydata
[ -z "$(find "$dir/base.tgz" -mtime +0)" ] || pb "$dir/update.log" update

rm -rf "$dir/src" "$dir/result" "$dir/nocheck" && mkdir "$dir/result" "$dir/nocheck"
make -C "$(dirname "$0")/.." --no-print-directory source-copy SOURCE_COPY="$dir/src/tree" >/dev/null
(cd "$dir/src" && dpkg-source -b tree >/dev/null)
export DEB_BUILD_OPTIONS="parallel=2 noautodbgsym"
build() {
  pb "$dir/$1/build.log" build --buildresult "$dir/$1" --debbuildopts -b "${@:2}" "$dir"/src/*.dsc
}
DEB_CXXFLAGS_APPEND=-Werror build result
grep -q 'tests passed, 0 tests failed' "$dir/result/build.log" || fail "dh ran no tests"
blhc --all "$dir/result/build.log" || fail "blhc finds fault with the build log"

build nocheck --profiles nocheck
! grep -E 'libgtest|cli-tests|unit-tests|simulate|ctest' "$dir/nocheck/build.log" ||
  fail "the nocheck build above had GoogleTest, or built or ran tests"
cmp "$dir"/result/*.deb "$dir"/nocheck/*.deb || fail "the nocheck build gave another package"
echo "dh build on $suite: built offline, tests passed, blhc has nothing to say; without the tests" \
  "and GoogleTest the same package; packages in $dir/result"
