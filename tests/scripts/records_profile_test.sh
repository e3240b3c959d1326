#!/bin/bash
# --records and --profile against the rows of the same run: the records are
# the running maxima of the least shift with x and y solving the equation in
# exact arithmetic, the profile's bins count the rows and add up to the
# summary; both the same bytes for any thread count and after --resume; a
# target that cannot be written is refused before any work.
#   records_profile_test.sh ERDOS_STRAUS
set -u
binary=$1
python=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# check_against_rows NAME: records and profile of NAME.{csv,json} (rows and
# summary), NAME.rec, NAME.prof.
check_against_rows() {
  "$python" - "$1" <<'PY' || fail "$1: records or profile do not match the rows"
import csv, json, math, sys
name = sys.argv[1]
summary = json.loads(open(name + ".json").read().replace("-nan", "NaN").replace("nan", "NaN").replace("inf", "Infinity"))
rows = list(csv.reader(open(name + ".csv")))[1:]
bad = []
# Records: the running maximum, no witness above every shift.
expected, best = [], None
for r in rows:
    key = math.inf if int(r[1]) < 0 else int(r[1])
    if best is None or key > best:
        best = key
        expected.append(r)
records = list(csv.reader(open(name + ".rec")))
if records[0] != "p,least_c,m,first_d,branch,x,y".split(","):
    bad.append("records header")
records = records[1:]
if [(r[0], r[1], r[3], r[4]) for r in records] != [(r[0], r[1], r[2], r[3]) for r in expected]:
    bad.append("records are not the running maxima")
for r in records:
    p, c = int(r[0]), int(r[1])
    if c < 0:
        if r[2:] != ["", "-1", "0", "", ""]:
            bad.append("uncovered row " + ",".join(r))
        continue
    m, x, y = int(r[2]), int(r[5]), int(r[6])
    if 4 * m != p + c or 4 * m * x * y != p * (x * y + m * x + m * y) or min(m, x, y) < 1:
        bad.append("no solution in " + ",".join(r))
# Profile: bins cover the interval, count the rows, add up to the summary.
prof = list(csv.DictReader(open(name + ".prof")))
lo = summary.get("p_min", 0)
if int(prof[0]["p_lo"]) != lo or int(prof[-1]["p_hi"]) != summary["p_max"]:
    bad.append("profile bounds")
if any(int(a["p_hi"]) + 1 != int(b["p_lo"]) for a, b in zip(prof, prof[1:])):
    bad.append("profile bins not contiguous")
total = {"primes": 0, "covered": 0}
hist = {}
i = 0
for b in prof:
    p_lo, p_hi = int(b["p_lo"]), int(b["p_hi"])
    mine = []
    while i < len(rows) and int(rows[i][0]) <= p_hi:
        mine.append(rows[i])
        i += 1
    covered = [r for r in mine if int(r[1]) > 0]
    top = max((int(r[1]) for r in covered), default=0)
    first = next((int(r[0]) for r in covered if int(r[1]) == top), 0)
    want = {"primes": len(mine), "covered": len(covered), "max_least_c": top, "max_least_c_p": first,
            "sum_least_c": sum(int(r[1]) for r in covered)}
    for k, v in want.items():
        if int(b[k]) != v:
            bad.append("bin %d..%d %s %s, rows say %d" % (p_lo, p_hi, k, b[k], v))
    for col, mass in ((5, "uniform"), (6, "weighted")):
        values = [float(r[col]) for r in mine if not math.isnan(float(r[col]))]
        if sum(int(b["%s_h%d" % (mass, k)]) for k in range(97)) != len(values):
            bad.append("bin %d %s histogram" % (p_lo, mass))
        mean = math.ldexp(float(sum(int(math.ldexp(v, 64)) for v in values)) / len(values), -64) if values else math.nan
        got = float(b["mean_%s_mass" % mass])
        if not (got == mean or (math.isnan(got) and math.isnan(mean))):
            bad.append("bin %d mean %s %r, rows say %r" % (p_lo, mass, got, mean))
    for k in range(32):
        hist[3 + 4 * k] = hist.get(3 + 4 * k, 0) + int(b["least_%d" % (3 + 4 * k)])
    for k in total:
        total[k] += int(b[k])
if total["primes"] != summary["primes_1_mod_24"] or total["covered"] != summary["covered"]:
    bad.append("profile counts %r against the summary" % total)
if {k: v for k, v in hist.items() if v} != {int(k): v for k, v in summary["least_shift_histogram"].items() if int(k) <= 127}:
    bad.append("least shift histogram against the summary")
top = max(prof, key=lambda b: (int(b["max_least_c"]), -int(b["max_least_c_p"])))
if (int(top["max_least_c"]), int(top["max_least_c_p"])) != (summary["max_least_shift"], summary["max_least_shift_prime"]):
    bad.append("largest least shift against the summary")
if bad:
    print("\n".join(bad[:10]))
    sys.exit(1)
PY
}

# run NAME THREADS ARGS...: rows, summary, records and profile of one run.
run() {
  local name=$1 threads=$2
  shift 2
  "$binary" --threads "$threads" --records "$name.rec" --profile "$name.prof" "$@" "$name.csv" "$name.json" 2>/dev/null
}

# The default run: the records of the issue, and the checks.
run default 1 2000000 127
[ "$(cut -d, -f1,2 default.rec | tr '\n' ' ')" = "p,least_c 73,7 1129,11 1201,23 21169,31 118801,59 " ] ||
  fail "default records: $(cat default.rec)"
# In and past 32 bits (across 2^32, and near 10^12 with wider shifts), no
# shift at all, and a bound that holds no examined prime.
run across-2^32 2 --from 4294000000 4296000000 127
run far-out 2 --from 1000000000000 1000000200000 255
run no-shifts 1 3000 2
run empty 1 --from 1000 1020 127
for name in default across-2^32 far-out no-shifts empty; do check_against_rows "$name"; done
[ "$(sed -n 2p no-shifts.rec)" = "73,-1,,-1,0,," ] && [ "$(wc -l <no-shifts.rec)" = 2 ] ||
  fail "no shifts: $(cat no-shifts.rec)"

# Any thread count gives the same bytes.
for threads in 2 5; do
  run default.$threads "$threads" 2000000 127
  run far-out.$threads "$threads" --from 1000000000000 1000000200000 255
  for name in default far-out; do
    cmp -s "$name.rec" "$name.$threads.rec" && cmp -s "$name.prof" "$name.$threads.prof" ||
      fail "$name: $threads threads give other bytes"
  done
done

# Stopped by SIGTERM once a checkpoint holds rows, and continued: the bytes
# of a run never stopped, and the earlier records and profile stay as they
# were until the run finishes.
args=(--from 1000000000000 1000040000000 127)
run whole 2 "${args[@]}"
echo old >resumed.rec
echo old >resumed.prof
ERDOS_STRAUS_CHECKPOINT_MS=1 "$binary" --threads 1 --records resumed.rec --profile resumed.prof "${args[@]}" \
  resumed.csv resumed.json 2>/dev/null &
pid=$!
waited=0
until grep -q '^rows [1-9]' resumed.csv.erdos-progress 2>/dev/null || [ $waited -ge 300 ]; do
  sleep 0.05
  waited=$((waited + 1))
done
kill -TERM $pid
wait $pid
status=$?
[ $status -eq 143 ] || fail "resume: the stopped run ended with status $status"
[ "$(cat resumed.rec resumed.prof)" = "$(printf 'old\nold')" ] || fail "resume: a signal replaced the records or profile"
"$binary" --resume --threads 2 --records resumed.rec --profile resumed.prof "${args[@]}" resumed.csv resumed.json \
  2>/dev/null || fail "resume: status $?"
cmp -s whole.rec resumed.rec && cmp -s whole.prof resumed.prof && cmp -s whole.csv resumed.csv ||
  fail "resume: other bytes than a run never stopped"

# A target that cannot be written: refused before any work, nothing replaced.
status=0
"$binary" --records missing/r.rec 1000 127 r.csv s.json 2>err || status=$?
[ $status -eq 1 ] && grep -q "cannot write records file 'missing/r.rec'" err && [ ! -e r.csv ] &&
  [ ! -e r.csv.erdos-partial ] ||
  fail "missing directory: status $status, $(cat err)"
status=0
"$binary" --profile /dev/full 1000 127 r.csv s.json 2>err || status=$?
[ $status -eq 1 ] && grep -q "cannot write profile file '/dev/full'" err && [ ! -e r.csv ] ||
  fail "full profile target: status $status, $(cat err)"

# Records or a profile naming the file of another output, by any path: only
# the last put in place would stay, so the run is refused before any work and
# nothing is replaced. Shared targets that are no regular file stay allowed,
# and an empty name is no name.
echo old >same.csv
rm -f r.csv.erdos-partial r.csv.erdos-progress  # the rows the full profile target kept
for args in "--records same.csv 1000 127 same.csv s.json" "--records same.csv --profile ./same.csv 1000 127 r.csv s.json" \
  "--profile $work/same.csv 1000 127 r.csv same.csv" "--records '' 1000 127 r.csv s.json"; do
  status=0
  eval "\"\$binary\" $args" 2>err || status=$?
  [ $status -eq 1 ] && grep -Eq "it is also the (results|records|summary) file|invalid records file ''" err &&
    [ "$(cat same.csv)" = old ] && [ ! -e r.csv ] && [ ! -e s.json ] && ! ls | grep -q erdos-partial ||
    fail "$args: status $status, $(cat err)"
done
"$binary" --records /dev/null --profile /dev/null 1000 127 /dev/null /dev/null 2>/dev/null ||
  fail "/dev/null for every output: status $?"

if [ "$failures" -ne 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "records and profile match the rows"
