#!/usr/bin/env bash
# Runs a Windows program under Wine on a virtual X display of its own (Xvfb), for tests
# that show windows. It uses a Wine prefix beside the build's usual one, so that the
# desktop process of display-less test runs never serves it.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX="${WINEPREFIX:?WINEPREFIX is not set}-display"
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$here/wine-run.sh" "$@"
