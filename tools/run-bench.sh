#!/bin/sh
# Runs every benchmark program the bench build made; a failing one does
# not hide the others, but fails the whole run at the end.
dir="$1/bench"
found=0
failed=""
for b in "$dir"/bench_*; do
  [ -x "$b" ] || continue
  found=1
  echo "== $(basename "$b")"
  "$b" || failed="$failed $(basename "$b")"
done
[ "$found" = 1 ] || { echo "no benchmarks built"; exit 1; }
[ -z "$failed" ] || { echo "FAILED:$failed"; exit 1; }
