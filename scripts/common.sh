# Sourced by every script: strict mode, the build folder, and a last line on standard
# error naming the script, the command that failed and its exit code, so that no script
# ends in silence.
set -Eeuo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${NIMB_BUILD:-$root/build}
trap 'nimb_status=$?; echo "$(basename "$0"): failed (exit code $nimb_status): $BASH_COMMAND" >&2' ERR

# Wine's 32-bit loader is a 32-bit Linux program. Kernels built or booted without IA-32
# emulation cannot start it; there scripts/install-deps.sh registers qemu's user-mode
# emulator for 32-bit programs with binfmt_misc. These name the registrations for 32-bit
# x86 programs and tell whether Wine starts.
nimb_i386_binfmt_entries() {
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    case ${entry##*/} in register|status) continue ;; esac
    # The kernel shows a magic only up to the end of its mask, so some entries name their
    # emulator only.
    grep -Eq '^(magic 7f454c4601010100000000000000000002000300|interpreter .*/qemu-i[3-6]86)' "$entry" 2>/dev/null &&
      echo "$entry"
  done
  return 0
}
nimb_wine32_usable() {
  wine --version >/dev/null 2>&1
}
nimb_require_wine32() {
  nimb_wine32_usable && return 0
  echo "$(basename "$0"): Wine cannot start 32-bit programs on this host, and scripts/install-deps.sh could not make it (see its output)" >&2
  return 1
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
