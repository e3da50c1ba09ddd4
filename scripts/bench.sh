#!/usr/bin/env bash
# Runs every benchmark, under Wine or on the host for host-side tools; each prints ratios
# against a reference measured in the same run. Build first (scripts/build.sh).
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
export WINEPREFIX=$build/wineprefix NIMB_BUILD_DIR=$build
shopt -s nullglob
status=0
nimb_require_wine32
nimb_start_wine_server
for b in "$build"/bench/*.exe; do
  echo "== $(basename "$b" .exe)"
  "$root/scripts/wine-run.sh" "$b" || status=1
done
# Host-side benchmarks (the packer), run with the system's Python.
for b in "$root"/bench/*.py; do
  echo "== $(basename "$b" .py)"
  /usr/bin/python3 "$b" || status=1
done
exit $status
