#!/usr/bin/env bash
# The main job: builds NimbStub.exe and the runner that starts it (nothing else), then
# starts it under Wine with the given arguments (default: --silent --version) and
# reports its full 32-bit exit code.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
"$root/scripts/build.sh" NimbStub winrun
if ! nimb_wine32_usable; then
  nimb_wine32_missing_note
  echo "run.sh: built $build/bin/NimbStub.exe; it cannot be started on this host" >&2
  exit 1
fi
export WINEPREFIX=$build/wineprefix
nimb_start_wine_server
[ $# -gt 0 ] || set -- --silent --version
# The installer's exit code is the result, not a failure of this script.
status=0
"$root/scripts/wine-run.sh" "$build/programs/winrun.exe" "$build/bin/NimbStub.exe" "$@" || status=$?
exit $status
