#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's private prefix, creating the
# prefix on first use. CTest uses this as the emulator of every test program.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: WINEPREFIX is not set" >&2
  exit 125
fi
"$here/wine-prefix.sh" "$WINEPREFIX"
exec wine "$@"
