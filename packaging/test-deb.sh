#!/usr/bin/env bash
# Checks the Debian package from BUILD_DIR with lintian, builds it again from a copy of the tree
# on tmpfs and compares, installs it into this system as a user would, checks the installed tool
# (hardening included) and its manual page, and removes the package again, also when a check fails.
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

# Besides root's ordinary directories, only the tool, its page, its changelog and its copyright,
# owned by root, with the usual modes; a stray 0700 directory or an installed test program would
# show here.
contents=$(dpkg-deb -c "$deb" | awk '!($1 == "drwxr-xr-x" && $2 == "root/root") {print $1, $2, $6}' | sort)
expected="-rw-r--r-- root/root ./usr/share/doc/$name/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/$name/copyright
-rw-r--r-- root/root ./usr/share/man/man1/$name.1.gz
-rwxr-xr-x root/root ./usr/bin/$name"
[ "$contents" = "$expected" ] || fail "unexpected contents of $deb:"$'\n'"$contents"
[[ $(dpkg-deb -f "$deb" Depends) == *"libcups2 ("* ]] || fail "Depends names no libcups2"

lintian --fail-on error,warning,info,pedantic --display-info --pedantic "$deb" ||
  fail "lintian has something to say of $deb"

# The same package from a copy of the tree on another file system (tmpfs), built in a folder
# outside it, later and under another umask.
top=$(realpath "$(dirname "$0")/..")
again=$(mktemp -d -p /dev/shm)
trap 'rm -rf "$again"' EXIT
mkdir "$again/src"
tar -C "$top" --exclude=./.git --exclude='./build*' -cf - . | tar -xf - -C "$again/src"
(cd "$again/src" && umask 077 && make --no-print-directory package BUILD_DIR="$again/out" >"$again/package.log" 2>&1) ||
  { tail -20 "$again/package.log"; fail "the second build failed"; }
if ! cmp "$deb" "$again"/out/${name}_*.deb; then
  if command -v diffoscope >/dev/null; then diffoscope "$deb" "$again"/out/${name}_*.deb || true; fi
  fail "a second build in $again gave another package"
fi
rm -rf "$again"

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
example=$top/examples/example-a4.ppd
[ "$(LC_ALL=en_US.UTF-8 /usr/bin/$name x "$example")" = "$(LC_ALL=en_US.UTF-8 "$build/$name/$name" x "$example")" ] ||
  fail "the installed tool's output differs from the built tool's"
man $name 2>&1 | grep '^EXIT STATUS' >/dev/null || fail "man $name shows no page"
"$top/tests/check_hardening.sh" c++ /usr/bin/$name || fail "/usr/bin/$name is not built hardened"

trap - EXIT
apt remove $name
left=$(ls -d /usr/bin/$name "$page" /usr/share/doc/$name 2>/dev/null || true)
[ -z "$left" ] || fail "apt-get remove left $left"
echo "package test: $(basename "$deb") built again the same, installed, ran, showed its page, and was removed"
