#!/usr/bin/env bash
# Builds everything and runs every test under Wine, then the benchmarks.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${NIMB_BUILD:-$root/build}
"$root/scripts/build.sh"
"$root/scripts/wine-prefix.sh" "$build/wineprefix"
# One server for the whole run: a program started just as an idle server shuts itself
# down can fail to connect to it. The processes Wine starts on demand (its services, the
# desktop) inherit the Unix standard streams of whichever program first needs them and
# then live as long as the server: start them here, holding nothing, so that they never
# keep a test's output open.
export WINEPREFIX="$build/wineprefix"
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
(setsid wine explorer.exe /desktop </dev/null >/dev/null 2>&1 &)
status=0
(cd "$build" && ctest --output-on-failure -j "$(nproc)") || status=$?
if [ "${NIMB_SKIP_BENCH:-0}" != 1 ]; then
  "$root/scripts/bench.sh" || status=1
fi
exit $status
