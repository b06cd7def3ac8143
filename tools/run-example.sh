#!/bin/sh
# Starts the package's main program on an example problem.
set -e
build="$1"
work="$build/run-example"
mkdir -p "$work"
cp examples/*.QTL "$work"/ 2>/dev/null || true
cd "$work"
first=$(ls *.QTL 2>/dev/null | head -n 1)
exec "../bin/Foreparse" ${first%.QTL}
