#!/bin/sh
# Runs every fuzz target for a bounded time, each with its own corpus folder
# in the build and its seeds from the repository (fuzz/seeds/NAME, which
# every target must have). Paths are made absolute: some targets work in a
# scratch directory. Any finding, undefined behaviour included, fails the run.
# Usage: run-fuzz.sh BUILD [SECONDS [NAME...]]: with names, only those
# targets (fuzz_NAME).
set -e
build=$(cd "$1" && pwd)
src=$(pwd)
seconds="${2:-60}"
shift
[ $# -gt 0 ] && shift
only="$*"
status=0
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
for f in "$build"/fuzz/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  if [ -n "$only" ]; then
    case " $only " in *" ${name#fuzz_} "*) ;; *) continue ;; esac
  fi
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds="$src/fuzz/seeds/${name#fuzz_}"
  if [ ! -d "$seeds" ]; then
    echo "== $name: no seeds in fuzz/seeds/${name#fuzz_}"
    status=1
    continue
  fi
  args=""
  [ -f "$f.args" ] && args=$(cat "$f.args")
  echo "== $name for ${seconds}s $args"
  # shellcheck disable=SC2086
  "$f" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 $args "$corpus" "$seeds" || status=1
done
exit $status
