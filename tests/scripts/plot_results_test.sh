#!/bin/sh
# The plotting script on a small run: it draws a PNG of the documented size,
# the same from the run's profile as from its rows read in a streaming pass,
# also from rows bigger than its memory limit, and it refuses results that
# are cut short, with a message and status 1.
set -eu
binary=$1
script=$2
intervals=$3
python=/usr/bin/python3
# The script draws with the system Python's matplotlib: without it this test
# fails (it never skips), saying what to install.
if ! err=$("$python" -c 'import numpy, matplotlib' 2>&1); then
  echo "FAIL: the plot test needs $python with numpy and matplotlib (Debian: python3-matplotlib;"
  echo "scripts/install-deps installs it): $(printf '%s' "$err" | tail -n 1)"
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir results
"$binary" --profile results/profile.csv 200000 2>/dev/null

fail() { echo "FAIL: $*"; exit 1; }

"$python" "$script" || fail "exit status $? on a complete run"
png=results/erdos_plots.png
[ -s "$png" ] || fail "no figure written"
# PNG signature, then the IHDR chunk: width and height, 4 bytes each, big-endian.
[ "$(od -An -tx1 -N8 "$png" | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "not a PNG file"
[ "$(od -An -c -j12 -N4 "$png" | tr -d ' \n')" = IHDR ] || fail "no IHDR chunk first"
size=$(od -An -tu1 -j16 -N8 "$png" | awk '{ printf "%dx%d", (($1*256+$2)*256+$3)*256+$4, (($5*256+$6)*256+$7)*256+$8 }')
[ "$size" = 1600x2000 ] || fail "figure is $size, expected 1600x2000"
"$python" "$script" --profile results/profile.csv --out from-profile.png || fail "exit status $? from a profile"
cmp -s "$png" from-profile.png || fail "the figure from the profile differs from the one from the rows"

# Rows bigger than the memory the script may take (256 MiB of address
# space): streamed in one pass, the same figure as from the profile.
"$binary" --threads 2 --profile big.prof 500000000 127 big.csv big.json 2>/dev/null
[ "$(wc -c <big.csv)" -gt $((256 * 1024 * 1024)) ] || fail "the big results file is not bigger than the limit"
(ulimit -v $((256 * 1024)) && "$python" "$script" --results big.csv --summary big.json --out big.png) ||
  fail "exit status $? streaming $(wc -c <big.csv) bytes of rows in 256 MiB"
"$python" "$script" --profile big.prof --summary big.json --out big-profile.png || fail "exit status $? from the big profile"
cmp -s big.png big-profile.png || fail "the big figure from the profile differs from the one from the rows"
rm -f big.csv

# expect_refusal NAME MESSAGE ARGS...: status 1, MESSAGE on standard error, no figure.
expect_refusal() {
  name=$1 message=$2
  shift 2
  status=0
  "$python" "$script" --out refused.png "$@" 2>err.txt || status=$?
  [ "$status" -eq 1 ] || fail "$name: exit status $status, expected 1"
  grep -qF -- "$message" err.txt || fail "$name: expected '$message', got: $(cat err.txt)"
  [ ! -e refused.png ] || fail "$name: a figure was written"
}
csv_bytes=$(wc -c <results/erdos_results.csv)
head -c $((csv_bytes / 2)) results/erdos_results.csv >cut.csv
expect_refusal "cut mid-line" "results file 'cut.csv' is truncated" --results cut.csv
head -n 100 results/erdos_results.csv >short.csv
expect_refusal "cut at a line end" "results file 'short.csv' has 99 rows, but the summary counts" --results short.csv
expect_refusal "missing file" "cannot read results file 'none.csv'" --results none.csv
sed 's/"covered": \([0-9]*\)/"covered": "\1"/' results/erdos_summary.json >bad.json
expect_refusal "bad summary" "summary file 'bad.json' is not a run summary: 'covered' is not an integer" --summary bad.json
expect_refusal "profile of another run" "profile file 'big.prof' does not have the bins of the summary's interval" \
  --profile big.prof
head -n 100 results/profile.csv >short.prof
expect_refusal "profile cut short" "profile file 'short.prof' is truncated: its bins end at p = " --profile short.prof
# The title names the verification only when some prime was covered.
"$binary" 200 2 none.csv none.json 2>/dev/null || true
title() {
  "$python" -c 'import importlib.util, json, sys
module_source = importlib.util.spec_from_file_location("plot_results", sys.argv[1])
module = importlib.util.module_from_spec(module_source)
module_source.loader.exec_module(module)
print(module.figure_title(module.read_summary(sys.argv[2])).splitlines()[1])' "$script" "$1"
}
line=$(title results/erdos_summary.json)
case $line in
  *"covered, first witnesses all verified") ;;
  *) fail "title of a covered run: $line" ;;
esac
line=$(title none.json)
[ "$line" = "p_max = 200, c_max = 2 (0 shifts): 3 primes examined, 0 covered" ] || fail "title with no shift: $line"

# An interval just below 2^62, where a double no longer tells the primes
# apart: drawn against p - p_min, with the interval and the primes of the
# extremes printed exactly.
"$python" "$script" --results "$intervals/interval4.csv" --summary "$intervals/interval4.json" --out far.png ||
  fail "exit status $? on an interval far out"
[ -s far.png ] || fail "no figure written for an interval far out"
line=$(title "$intervals/interval4.json")
[ "$line" = "p from 4,611,686,018,427,287,904 to 4,611,686,018,427,387,904, c_max = 127 (32 shifts): 296 primes examined, 296 covered, first witnesses all verified" ] ||
  fail "title of an interval: $line"

echo "ok: $csv_bytes bytes of results drawn as 1600x2000, the same from the profile; rows beyond the memory limit streamed; truncated and malformed inputs refused; an interval far out drawn"
