#!/bin/sh
# Starts Helmsman from the installed layout, in the first example's work directory.
set -e
build="$1"
main="$(cd "$build" && pwd)/Kravenor"
helmsman="$main/PGM/Helmsman"
if [ ! -x "$helmsman" ]; then
  echo "run-example: $helmsman is missing; build first (make build)" >&2
  exit 1
fi
work=$(ls -d "$main"/WKD* 2>/dev/null | head -n 1)
[ -n "$work" ] || work="$main"
cd "$work"
echo "Helmsman in $(pwd): use File to choose the example's .QTL"
exec "$helmsman"
