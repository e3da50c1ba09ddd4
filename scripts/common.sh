# Sourced by every script: strict mode, the build folder, and a last line on standard
# error naming the script, the command that failed and its exit code, so that no script
# ends in silence.
set -Eeuo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${NIMB_BUILD:-$root/build}
trap 'nimb_status=$?; echo "$(basename "$0"): failed (exit code $nimb_status): $BASH_COMMAND" >&2' ERR
