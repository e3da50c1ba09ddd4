# Sourced by every script: strict mode, the build folder, and a last line on standard
# error naming the script, the command that failed and its exit code, so that no script
# ends in silence.
set -Eeuo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${NIMB_BUILD:-$root/build}
trap 'nimb_status=$?; echo "$(basename "$0"): failed (exit code $nimb_status): $BASH_COMMAND" >&2' ERR

# One Wine server in $WINEPREFIX for the rest of the script, stopped (and waited for) when
# the script ends. A program started just as an idle server shuts itself down can fail to
# connect to it, and a server left by an earlier command (one lingers a few seconds after
# its last program ends) makes `wineserver -p` refuse with exit code 2: then wait for it
# to end and start ours. The processes Wine starts on demand (its services, the desktop)
# inherit the Unix standard streams of whichever program first needs them and then live
# as long as the server: start them here, holding nothing, so that they never keep a
# program's output open. A script called by one that started the server uses that one.
nimb_start_wine_server() {
  [ "${NIMB_WINE_SERVER:-}" != "$WINEPREFIX" ] || return 0
  export NIMB_WINE_SERVER=$WINEPREFIX
  "$root/scripts/wine-prefix.sh" "$WINEPREFIX"
  if ! wineserver -p 2>/dev/null; then
    wineserver -w
    wineserver -p
  fi
  trap 'wineserver -k >/dev/null 2>&1 || true; wineserver -w >/dev/null 2>&1 || true' EXIT
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  (setsid wine explorer.exe /desktop </dev/null >/dev/null 2>&1 &)
}
