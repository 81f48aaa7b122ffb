#!/bin/sh
# zelps(1) as man shows it: it renders without a warning, names every option
# and column that zelps --help names (both are built from the same tables),
# and is installed with the package.
#
#   manual_page.sh ZELPS PAGE BUILD_DIR
set -eu
zelps=$1
page=$2
build=$3
. "$(dirname "$0")/../support/test_lib.sh"
scratch zelps-manual

MANWIDTH=100 man --warnings -l "$page" >"$dir/page" 2>"$dir/warnings" || fail "man -l failed"
[ ! -s "$dir/warnings" ] || fail "man warns: $(cat "$dir/warnings")"
for section in 'ZELPS(1)' NAME SYNOPSIS OPTIONS COLUMNS FORMATS 'EXIT STATUS' 'SEE ALSO'; do
  grep -q "$section" "$dir/page" || fail "no $section"
done
"$zelps" --help >"$dir/help"
# The long options, and the first name of each column (the lines of the
# help's column list).
names=$(grep -o -- '--[a-z][a-z-]*' "$dir/help" | sort -u)
names="$names $(sed -n '/^Columns/,/^$/s/^  \([a-z%]*\).*/\1/p' "$dir/help")"
[ "$(echo "$names" | wc -w)" -gt 30 ] || fail "the help names too little: $names"
for name in $names; do
  grep -q -- "$name" "$dir/page" || fail "the page does not name $name"
done

cmake --install "$build" --prefix "$dir/prefix" >/dev/null
cmp -s "$page" "$dir/prefix/share/man/man1/zelps.1" || fail "zelps.1 is not installed"
