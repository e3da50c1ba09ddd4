#!/usr/bin/env bash
# Installs what the build needs, configures and builds into build/ (or $NIMB_BUILD):
# everything, or only the targets given as arguments.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${NIMB_BUILD:-$root/build}
"$root/scripts/install-deps.sh"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" >/dev/null
fi
[ $# -gt 0 ] || set -- all benchmarks
cmake --build "$build" --target "$@" -- -k 0
