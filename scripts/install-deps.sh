#!/usr/bin/env bash
# Installs the cross toolchain, Wine (32-bit in a 64-bit prefix), the MSI tools, a virtual
# display and the PE reader that tests use. Idempotent: does nothing when everything is
# already present.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

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

# A kernel without IA-32 emulation starts Wine's 32-bit loader only through a user-mode
# CPU emulator; it is brought in only when asked for (NIMB_WINE_EMULATED=1), being slow.
emulate=0
if [ "${NIMB_WINE_EMULATED:-0}" = 1 ] && ! nimb_i386_emulated; then
  emulate=1
  command -v qemu-i386 >/dev/null || need+=(qemu-user)
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
if [ ${#need[@]} -ne 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  # One architecture's index can lag behind the others; a failed update is tolerated and
  # the install below pins the release so versions resolve consistently.
  $SUDO apt-get update -qq || true
  codename=$(. /etc/os-release; echo "$VERSION_CODENAME")
  $SUDO apt-get install -y -qq --no-install-recommends -t "$codename" "${need[@]}"
fi

if [ $emulate = 1 ] && ! wine --version >/dev/null 2>&1; then
  [ -f /proc/sys/fs/binfmt_misc/register ] ||
    $SUDO mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  printf '%s' ':nimb-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$(command -v qemu-i386)"':F' |
    $SUDO tee /proc/sys/fs/binfmt_misc/register >/dev/null
fi
