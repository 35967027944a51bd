#!/usr/bin/env bash
# Installs the build to a fresh prefix, builds examples/api against the installed package
# with find_package(tarnvex), runs it on the Henon example and checks its estimates.
#   install_package.sh BUILD WORK SOURCE
set -euo pipefail
build=$1
work=$2
source=$3
rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source/examples/api" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
      -DCMAKE_CXX_FLAGS="-ffp-contract=off" >/dev/null
cmake --build "$work/build" >/dev/null
out=$("$work/build/final_estimates" "$work/prefix/share/tarnvex/examples/henon.dat" 2 2)
echo "$out"
# The Henon example at dimension 2 gives 0.60 and -2.25 (known: 0.605, -2.342).
grep -qx "3000 samples, 2950 counted steps" <<<"$out"
grep -qx "dimension 2: 0.60 -2.25" <<<"$out"
