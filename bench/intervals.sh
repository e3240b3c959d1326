#!/usr/bin/env bash
# The cost per examined prime of intervals far out against the full run to
# the 32-bit limit, one thread, side by side in one run, with peak memory:
#
#   bench/intervals.sh [WIDTH_SCALE]
#
# Runs, results and summary to /dev/null:
#   the full run       2147483520 127
#   near 10^12         --from 10^12 10^12 + 2*10^9 127
#   near 10^15         --from 10^15 10^15 + 10^9 127
#   near 10^18         --from 10^18 10^18 + 10^9 127
# WIDTH_SCALE (default 1) divides the widths of the three intervals, for a
# quicker look (e.g. 10). The per-prime figure counts the whole run, set-up
# included, divided by the examined primes the closing line reports.
set -euo pipefail
cd "$(dirname "$0")/.."
scale=${1:-1}
[ -x /usr/bin/time ] || { echo "needs GNU time (Debian package: time)" >&2; exit 1; }
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j --target erdos-straus >/dev/null
program=$PWD/build/erdos-straus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# run NAME ARGS...: prints NAME, examined primes, seconds, microseconds per prime, peak MiB.
run() {
    local name=$1
    shift
    /usr/bin/time -f '%e %M' -o "$work/time.txt" "$program" --threads 1 "$@" /dev/null /dev/null 2>"$work/err.txt" || true
    local primes seconds kb
    primes=$(sed -n 's/^processed=\([0-9]*\) .*/\1/p' "$work/err.txt")
    read -r seconds kb <"$work/time.txt"
    awk -v n="$name" -v p="$primes" -v s="$seconds" -v k="$kb" \
        'BEGIN { printf "%-12s %12d %9.2f s %8.3f us/prime %8.1f MiB\n", n, p, s, s * 1e6 / p, k / 1024 }'
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(date -u +%Y-%m-%d)"
run full-2^31 2147483520 127 | tee "$work/base.txt"
run near-1e12 --from 1000000000000 $((1000000000000 + 2000000000 / scale)) 127 | tee -a "$work/far.txt"
run near-1e15 --from 1000000000000000 $((1000000000000000 + 1000000000 / scale)) 127 | tee -a "$work/far.txt"
run near-1e18 --from 1000000000000000000 $((1000000000000000000 + 1000000000 / scale)) 127 | tee -a "$work/far.txt"
base=$(awk '{ print $5 }' "$work/base.txt")
awk -v b="$base" '{ printf "%-12s %.2fx the full run per prime\n", $1, $5 / b }' "$work/far.txt"
