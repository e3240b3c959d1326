#!/bin/bash
# erdos-straus-mpi against erdos-straus: for 1 to 4 processes, several thread
# counts and block sizes, the same results and summary bytes, the same
# standard-error line (from rank 0 alone) and the same exit status on every
# rank; argument and file errors reported once, with status 1 everywhere and
# no process left waiting.
#   mpi_identity_test.sh MPIRUN ERDOS_STRAUS_MPI ERDOS_STRAUS
set -u
mpirun=$1
mpi_binary=$2
single=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Open MPI refuses root without these, and in containers its shared-memory
# transport may lack the kernel's single-copy support; one node needs no
# network transport. Other MPI implementations get plain flags.
launch=("$mpirun")
if "$mpirun" --version 2>&1 | grep -q -e "Open MPI" -e OpenRTE; then
  export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
  export OMPI_MCA_btl_vader_single_copy_mechanism=none
  launch+=(--oversubscribe --mca btl self,vader)
  [ "$(id -u)" -ne 0 ] || launch+=(--allow-run-as-root)
fi

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# check K NAME ARGS...: one run of each program in its own directory with the
# outputs r.csv and s.json (or the paths in RESULTS and SUMMARY); every rank
# leaves its standard error and status in err.R and status.R.
check() {
  local ranks=$1 name=$2
  shift 2
  local dir="$work/$name.$ranks" results=${RESULTS:-r.csv} summary=${SUMMARY:-s.json}
  mkdir -p "$dir/one" "$dir/mpi"
  # SETUP, if given, prepares both directories alike.
  if [ -n "${SETUP:-}" ]; then (cd "$dir/one" && eval "$SETUP") && (cd "$dir/mpi" && eval "$SETUP"); fi
  (cd "$dir/one" && "$single" "$@" "$results" "$summary" >/dev/null 2>err; echo $? >status)
  (cd "$dir/mpi" && timeout 60 "${launch[@]}" -np "$ranks" sh -c \
    '"$0" "$@" 2>err.$OMPI_COMM_WORLD_RANK$PMI_RANK; echo $? >status.$OMPI_COMM_WORLD_RANK$PMI_RANK' \
    "$mpi_binary" "$@" "$results" "$summary" >/dev/null 2>launcher.err) ||
    fail "$name, $ranks ranks: mpirun failed or hung: $(head -c 600 "$dir/mpi/launcher.err")"
  local expected rank
  expected=$(cat "$dir/one/status")
  for ((rank = 0; rank < ranks; rank++)); do
    [ "$(cat "$dir/mpi/status.$rank" 2>/dev/null)" = "$expected" ] || fail "$name, $ranks ranks: rank $rank status $(cat "$dir/mpi/status.$rank" 2>/dev/null), not $expected"
    [ "$rank" = 0 ] || [ ! -s "$dir/mpi/err.$rank" ] || fail "$name, $ranks ranks: rank $rank wrote to standard error"
  done
  # Messages name the program that prints them.
  sed 's/^erdos-straus:/erdos-straus-mpi:/; s/erdos-straus --help/erdos-straus-mpi --help/' "$dir/one/err" >"$dir/one/err.named"
  cmp -s "$dir/one/err.named" "$dir/mpi/err.0" || fail "$name, $ranks ranks: standard error differs: $(cat "$dir/mpi/err.0")"
  # Both directories alike: the outputs, and whatever else stays behind.
  diff -r -x 'err*' -x 'status*' -x launcher.err "$dir/one" "$dir/mpi" >/dev/null ||
    fail "$name, $ranks ranks: the files differ: $(diff -rq -x 'err*' -x 'status*' -x launcher.err "$dir/one" "$dir/mpi")"
}

check 1 default --threads 2 2000000 127
check 2 default --threads 1 2000000 127
# Many small blocks: every process takes many rounds.
ERDOS_MPI_BLOCK_PRIMES=500 check 4 default --threads 3 2000000 127
# The records and the profile, merged from every process's blocks.
ERDOS_MPI_BLOCK_PRIMES=500 check 4 views --threads 1 --records rec.csv --profile prof.csv 2000000 127
ERDOS_MPI_BLOCK_PRIMES=300 check 3 views-far-out --threads 2 --records rec.csv --profile prof.csv \
  --from 1000000000000 1000000100000 255
check 2 views-no-shifts --threads 1 --records rec.csv --profile prof.csv 3000 2
RESULTS=/dev/null check 3 views-direct --threads 1 --records rec.csv --profile prof.csv 300000 127
# Masses beyond a small budget on every process go to its file (and leave nothing behind).
ERDOS_STRAUS_MASS_BUDGET=1000 ERDOS_MPI_BLOCK_PRIMES=2000 check 3 masses-on-file --threads 1 2000000 127
check 2 far-out --threads 2 --from 1000000000000 1000000020000 127
ERDOS_MPI_BLOCK_PRIMES=97 check 3 across-2^31 --threads 1 --from 2147300000 2147700000 127
check 3 empty --threads 1 --from 1000 1020 127
# No shift at all: every mass is 0/0 and the status is 2.
check 4 no-shifts --threads 1 3000 2
# A shift bound past the windows: the plain walk, in several rounds.
ERDOS_MPI_BLOCK_PRIMES=40 check 3 large-shifts --threads 1 20000 70003
# Targets that are no regular file: rows gathered on rank 0.
RESULTS=/dev/null check 3 direct --threads 1 300000 127

# Errors: a bad argument, a missing directory, a summary that cannot be written.
check 3 bad-argument --threads 0 1000 127
RESULTS=missing/r.csv check 2 missing-directory 1000 127
SUMMARY=/dev/full check 3 full-summary --threads 1 100000 127

# --resume. A run killed outright (kill -9 on every rank) once its record
# names a checkpoint, continued on another number of processes; one
# stopped by SIGTERM on a single rank, continued by erdos-straus: the bytes of
# an uninterrupted run, and neither the kept rows nor their record stay.
resume_args=(--threads 1 --records rec.csv --profile prof.csv --from 1000000000000 1000100000000 127)
dir="$work/resume"
mkdir -p "$dir/one" "$dir/mpi"
(cd "$dir/one" && "$single" "${resume_args[@]}" r.csv s.json 2>err)
# stop_when_durable SIGNAL RANKS...: a run on 2 ranks, signalled on the ranks
# named once its record names a checkpoint with rows.
stop_when_durable() {
  local signal=$1 pid waited=0 rank
  shift
  rm -f "$dir"/mpi/pid.*
  (cd "$dir/mpi" && ERDOS_STRAUS_CHECKPOINT_MS=1 ERDOS_MPI_BLOCK_PRIMES=10000 timeout 60 "${launch[@]}" -np 2 \
    sh -c 'echo $$ >pid.$OMPI_COMM_WORLD_RANK$PMI_RANK; exec "$0" "$@"' \
    "$mpi_binary" "${resume_args[@]}" r.csv s.json >/dev/null 2>stopped.err) &
  pid=$!
  until grep -q '^rows [1-9]' "$dir/mpi/r.csv.erdos-progress" 2>/dev/null || [ $waited -ge 300 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  for rank in "$@"; do kill "-$signal" "$(cat "$dir/mpi/pid.$rank")" 2>/dev/null; done
  wait $pid
  [ -e "$dir/mpi/r.csv.erdos-partial" ] && [ ! -e "$dir/mpi/r.csv" ] || fail "resume: nothing kept after SIG$signal"
}
same_as_uninterrupted() {
  cmp -s "$dir/one/r.csv" "$dir/mpi/r.csv" && cmp -s "$dir/one/s.json" "$dir/mpi/s.json" &&
    cmp -s "$dir/one/rec.csv" "$dir/mpi/rec.csv" && cmp -s "$dir/one/prof.csv" "$dir/mpi/prof.csv" &&
    cmp -s "$dir/one/err" "$dir/mpi/err" || fail "resume: $1: the outputs differ"
  [ ! -e "$dir/mpi/r.csv.erdos-partial" ] && [ ! -e "$dir/mpi/r.csv.erdos-progress" ] ||
    fail "resume: $1: the kept rows or their record stayed"
  rm -f "$dir/mpi/r.csv" "$dir/mpi/s.json" "$dir/mpi/rec.csv" "$dir/mpi/prof.csv"
}
stop_when_durable KILL 0 1
(cd "$dir/mpi" && timeout 60 "${launch[@]}" -np 3 "$mpi_binary" --resume "${resume_args[@]}" r.csv s.json \
  2>err >/dev/null) || fail "resume: a killed run did not continue on 3 ranks"
same_as_uninterrupted "kill -9, continued on 3 ranks"
stop_when_durable TERM 1
grep -q -e '--resume continues the run' "$dir/mpi/stopped.err" || fail "resume: SIGTERM does not say how to continue"
(cd "$dir/mpi" && "$single" --resume "${resume_args[@]}" r.csv s.json 2>err) || fail "resume: erdos-straus did not continue"
same_as_uninterrupted "SIGTERM on one rank, continued by erdos-straus"

# A disk that fills up: every rank ends with status 1, the rows up to the
# last checkpoint stay, and --resume on another number of ranks, once there is
# room again, gives the bytes of an uninterrupted run. It needs a small file
# system of its own, which root (as in CI) can mount.
full="$work/full"
mkdir -p "$full"
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=6m tmpfs "$full" 2>/dev/null; then
  (cd "$full" && ERDOS_STRAUS_CHECKPOINT_MS=20 ERDOS_MPI_BLOCK_PRIMES=5000 timeout 120 "${launch[@]}" -np 2 \
    "$mpi_binary" "${resume_args[@]}" r.csv s.json >/dev/null 2>"$work/full.err")
  status=$?
  [ $status -eq 1 ] || fail "full disk: status $status"
  # (Open MPI's file layer may report the full disk as an I/O error.)
  grep -q "are kept: .*run the same command with --resume" "$work/full.err" ||
    fail "full disk: the message does not say the rows are kept: $(cat "$work/full.err")"
  [ -e "$full/r.csv.erdos-partial" ] && [ -e "$full/r.csv.erdos-progress" ] || fail "full disk: nothing kept"
  mount -o remount,size=64m "$full"
  (cd "$full" && timeout 120 "${launch[@]}" -np 3 "$mpi_binary" --resume "${resume_args[@]}" r.csv s.json \
    >/dev/null 2>err) || fail "full disk: the run did not continue: $(cat "$full/err")"
  cmp -s "$dir/one/r.csv" "$full/r.csv" && cmp -s "$dir/one/s.json" "$full/s.json" &&
    cmp -s "$dir/one/rec.csv" "$full/rec.csv" && cmp -s "$dir/one/prof.csv" "$full/prof.csv" &&
    cmp -s "$dir/one/err" "$full/err" || fail "full disk: the outputs differ"
  umount "$full"
fi

# Refusals, with status 1, the message once and every file as it was: kept
# rows without a record, a record of another run, a row that does not
# parse, a target that is no regular file.
record() {
  printf 'erdos-straus progress 1\np_min 1000000000000\nhas_p_min 1\np_max %s\nc_max 127\n' "$1"
  printf 'durable_bytes %s\nrows 1\nlast_p %s\nend\n' "$2" "${3:-1000000000033}"
}
header=$(head -n 1 "$dir/one/r.csv")
row=$(sed -n 2p "$dir/one/r.csv")
kept="printf '%s\n%s\n' '$header' '$row' >r.csv.erdos-partial; echo old >r.csv"
SETUP=$kept check 3 refuse-no-record --resume "${resume_args[@]}"
SETUP="$kept; record 1000100000001 $((${#header} + ${#row} + 2)) >r.csv.erdos-progress" \
  check 2 refuse-other-run --resume "${resume_args[@]}"
SETUP="printf '%s\n%s\n' '$header' '${row/,/;}' >r.csv.erdos-partial; record 1000100000000 \
$((${#header} + ${#row} + 2)) >r.csv.erdos-progress" check 3 refuse-bad-row --resume "${resume_args[@]}"
RESULTS=/dev/null check 2 refuse-not-regular --resume "${resume_args[@]}"
# A composite p in a kept row (10^12 + 9 = 1 mod 24, below the first
# examined prime 10^12 + 177), refused by the process that reads it; and a
# run without --resume over durable kept rows, refused before anything
# changes.
SETUP="printf '%s\n%s\n' '$header' '${row/1000000000177/1000000000009}' >r.csv.erdos-partial; record 1000100000000 \
$((${#header} + ${#row} + 2)) 1000000000177 >r.csv.erdos-progress" check 2 refuse-composite --resume "${resume_args[@]}"
SETUP="$kept; record 1000100000000 $((${#header} + ${#row} + 2)) >r.csv.erdos-progress" \
  check 2 refuse-plain-run "${resume_args[@]}"
grep -q "holds 1 rows of an interrupted run of this command" "$work/refuse-plain-run.2/mpi/err.0" ||
  fail "refuse-plain-run: $(cat "$work/refuse-plain-run.2/mpi/err.0")"
grep -q "(p = 1000000000009): its p is not prime" "$work/refuse-composite.2/mpi/err.0" ||
  fail "refuse-composite: $(cat "$work/refuse-composite.2/mpi/err.0")"

if [ "$failures" -ne 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "all MPI runs match erdos-straus"
