#!/usr/bin/env bash
# Installs the cross toolchain, Wine (32-bit in a 64-bit prefix), the MSI tools, a virtual
# display and the PE reader that tests use. Idempotent: does nothing when everything is
# already present.
set -euo pipefail

need=()
command -v i686-w64-mingw32-g++ >/dev/null || need+=(g++-mingw-w64-i686-posix)
command -v wine >/dev/null || need+=(wine wine32 wine64)
dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32)
command -v wixl >/dev/null || need+=(wixl msitools)
command -v msiinfo >/dev/null || need+=(msitools)
command -v xvfb-run >/dev/null || need+=(xvfb xauth)
command -v ninja >/dev/null || need+=(ninja-build)
command -v ccache >/dev/null || need+=(ccache)
command -v cmake >/dev/null || need+=(cmake)
command -v osslsigncode >/dev/null || need+=(osslsigncode)
command -v openssl >/dev/null || need+=(openssl)
command -v convert >/dev/null && convert -version 2>/dev/null | grep -q ImageMagick || need+=(imagemagick)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
/usr/bin/python3 -c "import pefile" 2>/dev/null || need+=(python3-pefile)
# Wine's 32-bit loader is an i386 program: a kernel without 32-bit support runs it only
# through user-mode emulation, registered as the handler of i386 programs.
i386_runs() { [ ! -e /lib/ld-linux.so.2 ] || /lib/ld-linux.so.2 --version >/dev/null 2>&1; }
i386_runs || need+=(qemu-user qemu-user-binfmt)

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
# One architecture's index can lag behind the others; a failed update is tolerated and
# the install below pins the release so versions resolve consistently.
$SUDO apt-get update -qq || true
codename=$(. /etc/os-release; echo "$VERSION_CODENAME")
$SUDO apt-get install -y -qq --no-install-recommends -t "$codename" "${need[@]}"
if ! i386_runs; then
  $SUDO apt-get install -y -qq --no-install-recommends -t "$codename" qemu-user qemu-user-binfmt
fi
