#!/usr/bin/env bash
# Creates a Wine prefix (64-bit, running our 32-bit programs) once; concurrent callers
# wait for the first one to finish.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
prefix=$1
[ -f "$prefix/.nimb-ready" ] && exit 0
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/.nimb-ready" ]; then
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w || true
  # Settle the prefix's registry before anything is measured or compared in it.
  [ -f "$prefix/system.reg" ] || { echo "wine-prefix.sh: could not create $prefix" >&2; exit 1; }
  touch "$prefix/.nimb-ready"
fi
