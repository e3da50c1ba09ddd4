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
