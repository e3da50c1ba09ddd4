#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's private prefix, creating the
# prefix on first use. CTest uses this as the emulator of every test program.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
# Wine offers none of its optional runtime installers, and never starts its menu builder:
# a package that makes a shortcut would start it, and it would hold the installer's
# current directory (the extraction directory) for seconds past clean-up. The caller's own
# overrides (a test's) come first.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=};winemenubuilder.exe=d"
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: WINEPREFIX is not set" >&2
  exit 125
fi
"$here/wine-prefix.sh" "$WINEPREFIX"
exec wine "$@"
