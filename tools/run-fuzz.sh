#!/bin/sh
# Runs every fuzz target for a bounded time, each with its own corpus folder.
# Paths are made absolute: some targets work in a scratch directory.
set -e
build=$(cd "$1" && pwd)
src=$(pwd)
seconds="${2:-60}"
status=0
for f in "$build"/fuzz/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds="$src/fuzz/seeds/${name#fuzz_}"
  echo "== $name for ${seconds}s"
  if [ -d "$seeds" ]; then
    "$f" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "$corpus" "$seeds" || status=1
  else
    "$f" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "$corpus" || status=1
  fi
done
exit $status
