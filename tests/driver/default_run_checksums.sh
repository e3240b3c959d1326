#!/bin/sh
# The default run, from a fresh working directory, must reproduce the reference
# checksums of both output files and the reference standard-error line.
set -eu
binary=$1
data=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/results"
cd "$work"
status=0
"$binary" >stdout.txt 2>stderr.txt || status=$?
[ "$status" -eq 0 ] || { echo "exit status $status, expected 0"; exit 1; }
[ ! -s stdout.txt ] || { echo "unexpected standard output"; exit 1; }
cmp stderr.txt "$data/default_stderr.txt"
cd results
sha256sum -c "$data/default_run.sha256"
