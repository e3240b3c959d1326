#!/usr/bin/env bash
# Times the straightforward reference program and the real one side by side,
# alternating, and prints for each bound the median wall time, the ratio and
# the peak resident memory of each (from /usr/bin/time -v), checking on the
# way that both write the same bytes. Then one run of the real program at the
# largest bound, and one under a pseudo-terminal to show that the status line
# costs nothing.
#
#   bench/side_by_side.sh [REPETITIONS] [[P_MIN-]P_MAX[:C_MAX] ...]
#
# Defaults: 3 repetitions at P_MAX 2000000, 20000000 and 200000000 (C_MAX
# 127), then the large shift bounds 2000000:255, 2000000:1023, 2000000:4095
# and 200000:65535; shift bounds beyond the listed shifts, 20000:1000000
# and 100:20000000; and intervals far out (--from P_MIN P_MAX) with large
# shifts: 10^12 + [0, 10^6] at 1023, 10^12 + [0, 2*10^5] at 4095 and
# 3*10^9 + [0, 1000] at 4000003. C_MAX is 127 where it is not given. The
# real program runs with --threads 1: the comparison is one core to one.
set -euo pipefail
cd "$(dirname "$0")/.."

reps=${1:-3}
shift || true
bounds=("$@")
[ ${#bounds[@]} -gt 0 ] || bounds=(2000000 20000000 200000000 2000000:255 2000000:1023 2000000:4095 200000:65535
    20000:1000000 100:20000000 1000000000000-1000001000000:1023 1000000000000-1000000200000:4095
    3000000000-3000001000:4000003)
largest=2147483520

[ -x /usr/bin/time ] || { echo "needs GNU time (Debian package: time)" >&2; exit 1; }
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j --target erdos-straus erdos-straus-reference >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/ref/results" "$work/real/results"
reference=$PWD/build/erdos-straus-reference
real=$PWD/build/erdos-straus

# Runs one program in its directory; prints "seconds kilobytes".
measure() {
    local dir=$1
    shift
    (cd "$dir" && /usr/bin/time -v "$@" >/dev/null 2>"$work/time.txt") || true
    awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (i = 1; i <= n; ++i) s = s * 60 + t[i] }
                /Maximum resident set size/ { kb = $2 }
                END { printf "%.3f %d\n", s, kb }' "$work/time.txt"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(date -u +%Y-%m-%d)"
printf '%-34s %12s %12s %8s %14s %14s\n' '[P_MIN-]P_MAX:C_MAX' reference_s real_s ratio reference_MiB real_MiB
for run_arg in "${bounds[@]}"; do
    bound=${run_arg%%:*}
    c_max=127
    [ "$run_arg" = "$bound" ] || c_max=${run_arg#*:}
    from=()
    case $bound in *-*) from=(--from "${bound%%-*}") bound=${bound#*-} ;; esac
    : >"$work/ref.t"
    : >"$work/real.t"
    for ((i = 0; i < reps; ++i)); do
        measure "$work/ref" "$reference" "${from[@]}" "$bound" "$c_max" >>"$work/ref.t"
        measure "$work/real" "$real" --threads 1 "${from[@]}" "$bound" "$c_max" >>"$work/real.t"
    done
    cmp -s "$work/ref/results/erdos_results.csv" "$work/real/results/erdos_results.csv" &&
        cmp -s "$work/ref/results/erdos_summary.json" "$work/real/results/erdos_summary.json" ||
        { echo "outputs differ at P_MAX $bound, C_MAX $c_max" >&2; exit 1; }
    ref_s=$(cut -d' ' -f1 "$work/ref.t" | median)
    real_s=$(cut -d' ' -f1 "$work/real.t" | median)
    ref_kb=$(cut -d' ' -f2 "$work/ref.t" | median)
    real_kb=$(cut -d' ' -f2 "$work/real.t" | median)
    awk -v b="$run_arg" -v r="$ref_s" -v f="$real_s" -v rk="$ref_kb" -v fk="$real_kb" \
        'BEGIN { printf "%-34s %12.3f %12.3f %7.1fx %14.1f %14.1f\n", b, r, f, r / f, rk / 1024, fk / 1024 }'
done

echo
for threads in 1 "$(nproc)"; do
    read -r s kb < <(measure "$work/real" "$real" --threads "$threads" "$largest" 127)
    awk -v s="$s" -v kb="$kb" -v t="$threads" \
        'BEGIN { printf "largest bound (P_MAX 2147483520), %s thread(s): %.1f s, peak %.0f MiB\n", t, s, kb / 1024 }'
done

# The status line: the same run with standard error on a terminal.
# The largest bound of C_MAX 127 given, or the last bound given from 0.
status_bound=2000000
for run_arg in "${bounds[@]}"; do
    case $run_arg in *-*) ;; *) status_bound=$run_arg ;; esac
done
for run_arg in "${bounds[@]}"; do
    case $run_arg in *-* | *:*) ;; *) status_bound=$run_arg ;; esac
done
bound=${status_bound%%:*}
c_max=127
[ "$status_bound" = "$bound" ] || c_max=${status_bound#*:}
read -r plain _ < <(measure "$work/real" "$real" --threads 1 "$bound" "$c_max")
start=$(date +%s.%N)
(cd "$work/real" && script -qfc "$real --threads 1 $bound $c_max" /dev/null >/dev/null)
watched=$(echo "$(date +%s.%N) - $start" | bc)
awk -v p="$plain" -v w="$watched" -v b="$bound:$c_max" \
    'BEGIN { printf "P_MAX:C_MAX %s with a terminal watching: %.3f s, without: %.3f s\n", b, w, p }'
