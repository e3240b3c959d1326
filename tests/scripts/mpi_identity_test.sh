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
  for file in "$results" "$summary"; do
    case $file in /*) continue ;; esac
    if [ -e "$dir/one/$file" ] || [ -e "$dir/mpi/$file" ]; then
      cmp -s "$dir/one/$file" "$dir/mpi/$file" || fail "$name, $ranks ranks: $file differs"
    fi
  done
  # Nothing but the outputs may stay behind.
  leftover=$(cd "$dir/mpi" && ls -A | grep -v -e '^err\.' -e '^status\.' -e '^launcher\.err$' -e '^r\.csv$' -e '^s\.json$')
  [ -z "$leftover" ] || fail "$name, $ranks ranks: left behind: $leftover"
}

check 1 default --threads 2 2000000 127
check 2 default --threads 1 2000000 127
# Many small blocks: every process takes many rounds.
ERDOS_MPI_BLOCK_PRIMES=500 check 4 default --threads 3 2000000 127
check 2 far-out --threads 2 --from 1000000000000 1000000020000 127
ERDOS_MPI_BLOCK_PRIMES=97 check 3 across-2^31 --threads 1 --from 2147300000 2147700000 127
check 3 empty --threads 1 --from 1000 1020 127
# No shift at all: every mass is 0/0 and the status is 2.
check 4 no-shifts --threads 1 3000 2
# A shift bound past the windows: the plain walk, one round.
check 3 wide-shifts --threads 1 20000 70003
# Targets that are no regular file: rows gathered on rank 0.
RESULTS=/dev/null check 3 direct --threads 1 300000 127

# Errors: a bad argument, a missing directory, a summary that cannot be written.
check 3 bad-argument --threads 0 1000 127
RESULTS=missing/r.csv check 2 missing-directory 1000 127
SUMMARY=/dev/full check 3 full-summary --threads 1 100000 127

if [ "$failures" -ne 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "all MPI runs match erdos-straus"
