#!/bin/sh
# The installed package as its users meet it: the tool sets the example PPD's four defaults to Letter
# under en_US and copies it unchanged under de_DE, it is built hardened, and man shows its page.
set -eu
example=examples/example-a4.ppd
sed -E 's/^(\*Default(PageSize|PageRegion|ImageableArea|PaperDimension)):.*/\1: Letter/' $example \
  >"$AUTOPKGTEST_TMP/letter.ppd"
LC_ALL=en_US.UTF-8 ppd-paper-defaults x $example | cmp - "$AUTOPKGTEST_TMP/letter.ppd"
LC_ALL=de_DE.UTF-8 ppd-paper-defaults x $example | cmp - $example
man ppd-paper-defaults 2>&1 | grep '^EXIT STATUS' >/dev/null
tests/check_hardening.py /usr/bin/ppd-paper-defaults 2>&1
