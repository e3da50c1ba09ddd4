#!/usr/bin/env bash
# Runs every benchmark under Wine; each prints ratios against a reference measured in the
# same run. Build first (scripts/build.sh).
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
export WINEPREFIX=$build/wineprefix NIMB_BUILD_DIR=$build
nimb_start_wine_server
shopt -s nullglob
for b in "$build"/bench/*.exe; do
  echo "== $(basename "$b" .exe)"
  "$root/scripts/wine-run.sh" "$b"
done
