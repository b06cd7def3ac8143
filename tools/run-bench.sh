#!/bin/sh
# Runs every benchmark program the bench build made.
set -e
dir="$1/bench"
found=0
for b in "$dir"/bench_*; do
  [ -x "$b" ] || continue
  found=1
  echo "== $(basename "$b")"
  "$b"
done
[ "$found" = 1 ] || echo "no benchmarks built"
