#!/bin/sh
# Runs every fuzz target for a bounded time, each with its own corpus folder.
set -e
dir="$1/fuzz"
seconds="${2:-60}"
for f in "$dir"/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus="$1/corpus/$name"
  mkdir -p "$corpus"
  seeds="fuzz/seeds/${name#fuzz_}"
  echo "== $name for ${seconds}s"
  if [ -d "$seeds" ]; then
    "$f" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "$corpus" "$seeds"
  else
    "$f" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "$corpus"
  fi
done
