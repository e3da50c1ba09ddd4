#!/usr/bin/env bash
# The main job: builds NimbStub.exe and starts it under Wine with the given arguments
# (default: --help in silent mode), reporting its full 32-bit exit code.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${NIMB_BUILD:-$root/build}
"$root/scripts/build.sh"
export WINEPREFIX=$build/wineprefix
[ $# -gt 0 ] || set -- --silent --version
"$root/scripts/wine-run.sh" "$build/programs/winrun.exe" "$build/bin/NimbStub.exe" "$@"
