#!/usr/bin/env bash
# Creates a Wine prefix (64-bit, running our 32-bit programs) once; concurrent callers
# wait for the first one to finish.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
prefix=$1
[ -f "$prefix/.nimb-ready" ] && [ -f "$prefix/.nimb-no-debugger" ] && exit 0
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
created=0
if [ ! -f "$prefix/.nimb-ready" ]; then
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w || true
  [ -f "$prefix/system.reg" ] || { echo "wine-prefix.sh: could not create $prefix" >&2; exit 1; }
  created=1
fi
# A program that dies of an unhandled exception ends with its exception code, as on a
# Windows machine without a debugger, instead of starting Wine's debugger, which would
# write its report into the program's output and wait. Wine starts its own debugger
# when no debugger is named, so name one that does not exist: it fails to start and the
# process ends. A prefix made before this setting gets it on its next use.
if [ ! -f "$prefix/.nimb-no-debugger" ]; then
  for view in 32 64; do
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d nimb-no-debugger /f /reg:$view >/dev/null 2>&1 || true
  done
  touch "$prefix/.nimb-no-debugger"
fi
if [ "$created" = 1 ]; then
  # Settle the prefix's registry before anything is measured or compared in it.
  wineserver -w || true
  touch "$prefix/.nimb-ready"
fi
