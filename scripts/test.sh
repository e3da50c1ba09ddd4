#!/usr/bin/env bash
# Builds everything and runs every test: the Windows-side ones under Wine through CTest,
# the host-side ones (packer, resources, demo packages) directly; then the benchmarks
# (NIMB_SKIP_BENCH=1 leaves them out). On a host that cannot run 32-bit programs the
# Windows-side tests and benchmarks are skipped, and the script says so.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
"$root/scripts/build.sh"
status=0
only=()
if nimb_wine32_usable; then
  export WINEPREFIX="$build/wineprefix"
  nimb_start_wine_server
else
  nimb_wine32_missing_note
  echo "test.sh: skipping the Windows-side tests: $(cd "$build" && ctest -N -L wine | tail -1)" >&2
  only=(-LE wine)
fi
(cd "$build" && ctest --output-on-failure -j "$(nproc)" "${only[@]}") || { status=$?; echo "test.sh: some tests failed (ctest exit code $status)" >&2; }
if [ "${NIMB_SKIP_BENCH:-0}" != 1 ]; then
  "$root/scripts/bench.sh" || { status=1; echo "test.sh: the benchmarks failed" >&2; }
fi
exit $status
