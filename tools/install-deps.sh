#!/bin/sh
# Installs the Debian packages the build needs, only those that are missing.
# Usage: install-deps.sh [bench]
# gnumeric: the tests read the WKS spreadsheets we write with its ssconvert.
# xvfb openbox xdotool x11-utils imagemagick: the real-input tests run the
# programs on a virtual display with a window manager, press keys and click
# (xdotool), read windows (xprop, xwininfo) and take screenshots (import);
# libx11-dev: they read the text a program put on the clipboard (Xlib).
# strace: the tests kill a solver run or its write into a data-series store,
# or fail their calls, at each of their system calls (Free Pascal makes them
# itself, past any preloaded library).
set -e
PKGS="g++ clang cmake make ninja-build qt6-base-dev libgtest-dev libgmock-dev
 fp-compiler fp-units-rtl libclang-rt-14-dev desktop-file-utils poppler-utils gnumeric
 xvfb openbox xdotool x11-utils imagemagick libx11-dev strace"
# "bench" adds what only the benchmarks compare against (SuiteSparse's btf_order
# for the ordering, KLU for the solver's step).
[ "${1:-}" = bench ] && PKGS="$PKGS libsuitesparse-dev"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
SUDO=""
[ "$(id -u)" = 0 ] || SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
