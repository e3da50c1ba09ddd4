#!/usr/bin/env bash
# Builds everything and runs every test: the Windows-side ones under Wine through CTest,
# the host-side ones (packer, resources, demo packages) directly; then the benchmarks
# (NIMB_SKIP_BENCH=1 leaves them out). On a host that cannot run 32-bit programs the
# Windows-side tests and benchmarks are skipped, and the script says so.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
"$root/scripts/build.sh"
status=0
if nimb_wine32_usable; then
  "$root/scripts/wine-prefix.sh" "$build/wineprefix"
  # One server for the whole run: a program started just as an idle server shuts itself
  # down can fail to connect to it. A server left by an earlier command (one lingers a
  # few seconds after its last program ends) makes `wineserver -p` refuse with exit code
  # 2: then wait for it to end and start ours. The processes Wine starts on demand (its
  # services, the desktop) inherit the Unix standard streams of whichever program first
  # needs them and then live as long as the server: start them here, holding nothing, so
  # that they never keep a test's output open.
  export WINEPREFIX="$build/wineprefix"
  if ! wineserver -p 2>/dev/null; then
    wineserver -w
    wineserver -p
  fi
  trap 'wineserver -k >/dev/null 2>&1 || true; wineserver -w >/dev/null 2>&1 || true' EXIT
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  (setsid wine explorer.exe /desktop </dev/null >/dev/null 2>&1 &)
  (cd "$build" && ctest --output-on-failure -j "$(nproc)") || { status=$?; echo "test.sh: some tests failed (ctest exit code $status)" >&2; }
else
  nimb_wine32_missing_note
  echo "test.sh: skipping the Windows-side tests: $(cd "$build" && ctest -N -L wine | tail -1)" >&2
  (cd "$build" && ctest --output-on-failure -j "$(nproc)" -LE wine) || { status=$?; echo "test.sh: some tests failed (ctest exit code $status)" >&2; }
fi
if [ "${NIMB_SKIP_BENCH:-0}" != 1 ]; then
  "$root/scripts/bench.sh" || { status=1; echo "test.sh: the benchmarks failed" >&2; }
fi
exit $status
