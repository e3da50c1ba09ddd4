#!/usr/bin/env bash
# Creates a Wine prefix (64-bit, running our 32-bit programs) once and keeps its settings
# current; concurrent callers wait for the first one to finish.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
prefix=$1
# Raised whenever the settings below change, so that existing prefixes get them too.
settings=2
ready=$prefix/.nimb-ready
[ "$(cat "$ready" 2>/dev/null)" = $settings ] && exit 0
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [ "$(cat "$ready" 2>/dev/null)" != $settings ]; then
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$prefix/system.reg" ]; then
    wineboot --init >/dev/null 2>&1 || true
    # Settle the prefix's registry before anything is measured or compared in it.
    wineserver -w || true
    [ -f "$prefix/system.reg" ] || { echo "wine-prefix.sh: could not create $prefix" >&2; exit 1; }
  fi
  # A program that dies of an unhandled exception ends with its exception code, as on a
  # Windows machine without a debugger, instead of starting Wine's debugger, which would
  # write its report into the program's output. Without a Debugger value Wine starts its
  # own, so the value names a program that does not exist. (A server already running for
  # this prefix takes the values at once; waiting for it to end would wait for ever.)
  for view in 32 64; do
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
      /d nimb-no-debugger.exe /f /reg:$view >/dev/null 2>&1
  done
  echo $settings > "$ready"
fi
