#!/usr/bin/env bash
# Installs the Debian package from BUILD_DIR into this system as a user would, checks the installed
# tool and its manual page, and removes the package again, also when a check fails.
# Usage: packaging/test-deb.sh BUILD_DIR   (as root, or with SUDO=sudo in the environment)
set -euo pipefail
name=ppd-paper-defaults
build=$(realpath "${1:-build}")
sudo=${SUDO-}
page=/usr/share/man/man1/$name.1.gz
fail() {
  echo "package test: $*" >&2
  exit 1
}
apt() { $sudo env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300 "$@"; }

debs=("$build/${name}"_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "want exactly one $build/${name}_*.deb"
deb=${debs[0]}

# Only the tool and its page, owned by root, with the usual modes; a stray 0700 directory or an
# installed test program would show here.
contents=$(dpkg-deb -c "$deb" | awk '{print $1, $2, $6}' | sort)
expected="-rw-r--r-- root/root ./usr/share/man/man1/$name.1.gz
-rwxr-xr-x root/root ./usr/bin/$name
drwxr-xr-x root/root ./usr/
drwxr-xr-x root/root ./usr/bin/
drwxr-xr-x root/root ./usr/share/
drwxr-xr-x root/root ./usr/share/man/
drwxr-xr-x root/root ./usr/share/man/man1/"
[ "$contents" = "$expected" ] || fail "unexpected contents of $deb:"$'\n'"$contents"
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *"libcups2 ("* ]] || fail "Depends names no libcups2: $depends"

if dpkg-query -W -f='${Status}' $name 2>/dev/null | grep -qx 'install ok installed'; then
  fail "$name is already installed here; remove it first"
fi
# Minimal images tell dpkg to skip manual pages. Say so, and install this one page anyway, so that
# the check below is about the package and not about the image.
options=()
if excluding=$(grep -ls '^path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/*); then
  echo "package test: NOTE: $excluding keeps dpkg from installing manual pages;" \
    "installing $page regardless for this test" >&2
  options=(-o "DPkg::Options::=--path-include=$page")
fi

trap 'apt remove $name >/dev/null || true' EXIT
apt "${options[@]}" install "$deb"

hash -r
[ "$(command -v $name)" = /usr/bin/$name ] || fail "$name on the PATH is $(command -v $name)"
version=$($name --version)
[ "$version" = "$("$build/$name/$name" --version)" ] || fail "installed tool says $version"
example=$(dirname "$0")/../examples/example-a4.ppd
installed=$(LC_ALL=en_US.UTF-8 $name x "$example")
[ "$installed" = "$(LC_ALL=en_US.UTF-8 "$build/$name/$name" x "$example")" ] ||
  fail "the installed tool's output differs from the built tool's"
grep -qx '\*DefaultPageSize: Letter' <<<"$installed" || fail "the example was not set to Letter"
[ "$(man -w $name)" = "$page" ] || fail "man -w $name finds no $page"
shown=$(man $name 2>&1)
grep -q '^EXIT STATUS' <<<"$shown" || fail "man $name shows no page: $shown"

trap - EXIT
apt remove $name
hash -r
if command -v $name >/dev/null || [ -e "$page" ]; then
  fail "apt-get remove left $(command -v $name) $(ls "$page" 2>/dev/null)"
fi
echo "package test: $(basename "$deb") installed, ran ($version), showed its page, and was removed"
