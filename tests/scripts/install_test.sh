#!/bin/sh
# cmake --install into a fresh prefix: the programs, the plot script under
# its installed name and the manual page land where a user looks for them,
# the installed program runs, and man reads the page without a warning.
set -eu
cmake=$1
build=$2
with_mpi=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "FAIL: $*"; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "cmake --install"; }

for program in erdos-straus erdos-straus-plot; do
  [ -x "$prefix/bin/$program" ] || fail "no executable $prefix/bin/$program"
done
case $with_mpi in
  ON|on|1|TRUE|true|YES|yes) [ -x "$prefix/bin/erdos-straus-mpi" ] || fail "no executable bin/erdos-straus-mpi" ;;
  *) [ ! -e "$prefix/bin/erdos-straus-mpi" ] || fail "bin/erdos-straus-mpi installed without MPI" ;;
esac
[ "$(head -n 1 "$prefix/bin/erdos-straus-plot")" = "#!/usr/bin/python3" ] || fail "the plot script is not the Python script"
page=$prefix/share/man/man1/erdos-straus.1
[ -f "$page" ] || fail "no manual page $page"
# Nothing else: no test programs, benchmarks or libraries.
extra=$(cd "$prefix" && find . -type f | sort | grep -v -x -e ./bin/erdos-straus -e ./bin/erdos-straus-mpi \
  -e ./bin/erdos-straus-plot -e ./share/man/man1/erdos-straus.1 || true)
[ -z "$extra" ] || fail "unexpected files installed: $extra"

# The installed program runs from anywhere.
version=$(cd "$work" && "$prefix/bin/erdos-straus" --version) || fail "the installed program failed"
[ "$version" = "$("$build/erdos-straus" --version)" ] || fail "the installed program says '$version'"

# The page as man shows it, with warnings (groff's, through man) an error.
if command -v man >/dev/null 2>&1; then
  MANWIDTH=80 MAN_KEEP_STDERR=1 man --warnings=all -l -P cat "$page" >"$work/page.txt" 2>"$work/page.err" ||
    fail "man -l failed: $(cat "$work/page.err")"
  [ ! -s "$work/page.err" ] || fail "man -l warns: $(cat "$work/page.err")"
  grep -q "^NAME" "$work/page.txt" || fail "man -l shows no NAME section"
  # A user's man finds the page under the prefix.
  MANPATH=$prefix/share/man man -w erdos-straus >/dev/null 2>&1 || fail "man -w does not find the page under the prefix"
elif command -v groff >/dev/null 2>&1; then
  groff -man -ww -z "$page" 2>"$work/page.err" && [ ! -s "$work/page.err" ] || fail "groff warns: $(cat "$work/page.err")"
else
  echo "note: neither man nor groff is installed; the page was not formatted (scripts/install-deps installs man-db)"
fi
echo "installed and ran $version"
