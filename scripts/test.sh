#!/usr/bin/env bash
# Builds everything and runs every test: the Windows-side ones under Wine through CTest,
# the host-side ones (packer, resources, demo packages) directly; then the benchmarks
# (NIMB_SKIP_BENCH=1 leaves them out).
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
"$root/scripts/build.sh"
nimb_require_wine32
export WINEPREFIX="$build/wineprefix"
nimb_start_wine_server
status=0
(cd "$build" && ctest --output-on-failure -j "$(nproc)") || { status=$?; echo "test.sh: some tests failed (ctest exit code $status)" >&2; }
if [ "${NIMB_SKIP_BENCH:-0}" != 1 ]; then
  "$root/scripts/bench.sh" || { status=1; echo "test.sh: the benchmarks failed" >&2; }
fi
exit $status
