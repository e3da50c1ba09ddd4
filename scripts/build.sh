#!/usr/bin/env bash
# Installs what the build needs, configures and builds into build/ (or $NIMB_BUILD).
# Usage: build.sh [TARGET...]   (default: everything, the benchmarks included)
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
"$root/scripts/install-deps.sh"
# Compiler-cache entries keyed by paths relative to the checkout, so that another clone
# of the same sources reuses them.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" >/dev/null
fi
[ $# -gt 0 ] || set -- all benchmarks
cmake --build "$build" --target "$@" -- -k 0
