#!/bin/sh
# The manual page against --help: the options and the argument names of the
# one are those of the other, so that neither can change alone. Options are
# taken from the whole of --help and from the page's SYNOPSIS (the lines of
# erdos-straus itself) and OPTIONS; argument names from the usage lines of
# --help and from the same SYNOPSIS lines. An option added to the program
# fails this test until the page describes it.
set -eu
binary=$1
page=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$binary" --help >"$work/help"
# The page's text with its escapes and the names of its requests undone: \- is
# a hyphen, \fB... fonts go, and so does ".B" or ".SH" at the start of a line.
sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/^\.[A-Za-z]* *//' "$page" >"$work/page"

options() { grep -oE -- '(^|[^A-Za-z0-9_-])(-h|--[a-z][a-z-]*[a-z])' | sed -E 's/^[^-]+//' | sort -u; }
names() { grep -oE '\<([A-Z][A-Z_]*[A-Z]|N)\>' | sort -u; }

# --help: its usage lines run up to the first empty line.
sed '/^$/q' "$work/help" >"$work/usage"
options <"$work/help" >"$work/help-options"
options <"$work/usage" >"$work/usage-options"
names <"$work/usage" >"$work/usage-names"

# The page: SYNOPSIS up to the line that starts the MPI program, and OPTIONS.
sed -n '/^SYNOPSIS$/,/^mpirun$/p' "$work/page" | sed '1d;$d' >"$work/synopsis"
sed -n '/^OPTIONS$/,/^EXIT STATUS$/p' "$work/page" >"$work/options"
options <"$work/options" >"$work/page-options"
options <"$work/synopsis" >"$work/synopsis-options"
names <"$work/synopsis" >"$work/synopsis-names"

status=0
compare() {
  if ! diff -u "$2" "$3" >"$work/diff"; then
    echo "FAIL: the $1 differ (- only in --help, + only in $page):"
    sed '1,2d' "$work/diff" | grep -E '^[-+]'
    status=1
  fi
}
compare "options of --help and of the page's OPTIONS" "$work/help-options" "$work/page-options"
compare "options of the usage and of the SYNOPSIS" "$work/usage-options" "$work/synopsis-options"
compare "argument names of the usage and of the SYNOPSIS" "$work/usage-names" "$work/synopsis-names"
[ -s "$work/help-options" ] && [ -s "$work/usage-names" ] || { echo "FAIL: nothing read from --help"; status=1; }
# The version the page names is the program's.
version=$("$binary" --version)
grep -q "^\.TH .*\"$version\"" "$page" || { echo "FAIL: the page's .TH line does not name '$version'"; status=1; }
[ "$status" -eq 0 ] && echo "the page names the $(wc -l <"$work/help-options") options and $(wc -l <"$work/usage-names") argument names of --help"
exit "$status"
