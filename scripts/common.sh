# Sourced by every script: strict mode, the build folder, and a last line on standard
# error naming the script, the command that failed and its exit code, so that no script
# ends in silence.
set -Eeuo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${NIMB_BUILD:-$root/build}
trap 'nimb_status=$?; echo "$(basename "$0"): failed (exit code $nimb_status): $BASH_COMMAND" >&2' ERR

# Whether Wine can run our 32-bit programs. Some kernels are built with IA-32 emulation
# switched off: there Wine's 32-bit loader starts only through a user-mode CPU emulator
# registered with binfmt_misc, which is far too slow and unreliable to carry the test
# suite. NIMB_WINE_EMULATED=1 uses such an emulator all the same (scripts/install-deps.sh
# then registers one).
nimb_i386_emulated() {
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    case ${entry##*/} in register|status) continue ;; esac
    grep -qx enabled "$entry" 2>/dev/null || continue
    grep -q '^magic 7f454c4601010100000000000000000002000300' "$entry" && return 0
  done
  return 1
}
nimb_wine32_usable() {
  if [ "${NIMB_WINE_EMULATED:-0}" != 1 ] && nimb_i386_emulated; then
    return 1
  fi
  wine --version >/dev/null 2>&1
}
nimb_wine32_missing_note() {
  echo "$(basename "$0"): this kernel cannot start 32-bit programs (IA-32 emulation is off), so Wine cannot run our 32-bit Windows programs here; NIMB_WINE_EMULATED=1 runs them under a CPU emulator, very slowly" >&2
}

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
