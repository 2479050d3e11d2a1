#!/usr/bin/env bash
# Checks the Debian package from BUILD_DIR with lintian, installs it into this system as a user
# would, checks the installed tool and its manual page, and removes the package again, also when a
# check fails.
# Usage: packaging/test-deb.sh BUILD_DIR   (as root, or with SUDO=sudo in the environment)
set -euo pipefail
name=ppd-paper-defaults
build=$(realpath "${1:-build}")
page=/usr/share/man/man1/$name.1.gz
fail() { echo "package test: $*" >&2; exit 1; }
apt() { ${SUDO-} env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300 "$@"; }

debs=("$build/${name}"_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "want exactly one $build/${name}_*.deb"
deb=${debs[0]}

# Besides root's ordinary directories, only the tool, its page and its changelog, owned by root,
# with the usual modes; a stray 0700 directory or an installed test program would show here.
contents=$(dpkg-deb -c "$deb" | awk '!($1 == "drwxr-xr-x" && $2 == "root/root") {print $1, $2, $6}' | sort)
expected="-rw-r--r-- root/root ./usr/share/doc/$name/changelog.gz
-rw-r--r-- root/root ./usr/share/man/man1/$name.1.gz
-rwxr-xr-x root/root ./usr/bin/$name"
[ "$contents" = "$expected" ] || fail "unexpected contents of $deb:"$'\n'"$contents"
[[ $(dpkg-deb -f "$deb" Depends) == *"libcups2 ("* ]] || fail "Depends names no libcups2"

# lintian may report the missing copyright file, and nothing else, until the project has a licence.
lintian --fail-on error,warning --suppress-tags no-copyright-file "$deb" ||
  fail "lintian reports errors or warnings on $deb"

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

# The installed tool writes what the built tool writes, and man shows its page.
example=$(dirname "$0")/../examples/example-a4.ppd
[ "$(LC_ALL=en_US.UTF-8 /usr/bin/$name x "$example")" = "$(LC_ALL=en_US.UTF-8 "$build/$name/$name" x "$example")" ] ||
  fail "the installed tool's output differs from the built tool's"
man $name 2>&1 | grep '^EXIT STATUS' >/dev/null || fail "man $name shows no page"

trap - EXIT
apt remove $name
[ ! -e /usr/bin/$name ] && [ ! -e "$page" ] || fail "apt-get remove left /usr/bin/$name or $page"
echo "package test: $(basename "$deb") installed, ran, showed its page, and was removed"
