#!/usr/bin/env bash
# Installs the cross toolchain, Wine (32-bit in a 64-bit prefix), the MSI and cabinet
# tools, a virtual display and the PE reader that tests use. Idempotent: does nothing when
# everything is already present.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

need=()
command -v i686-w64-mingw32-g++ >/dev/null || need+=(g++-mingw-w64-i686-posix)
command -v wine >/dev/null || need+=(wine wine32 wine64)
dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32)
command -v wixl >/dev/null || need+=(wixl msitools)
command -v msiinfo >/dev/null || need+=(msitools)
command -v gcab >/dev/null || need+=(gcab)
command -v xvfb-run >/dev/null || need+=(xvfb xauth)
command -v ninja >/dev/null || need+=(ninja-build)
command -v ccache >/dev/null || need+=(ccache)
command -v cmake >/dev/null || need+=(cmake)
command -v osslsigncode >/dev/null || need+=(osslsigncode)
command -v openssl >/dev/null || need+=(openssl)
command -v convert >/dev/null && convert -version 2>/dev/null | grep -q ImageMagick || need+=(imagemagick)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
/usr/bin/python3 -c "import pefile" 2>/dev/null || need+=(python3-pefile)

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

# Wine's 32-bit loader is a 32-bit Linux program. Where the kernel cannot start one
# (IA-32 emulation built out or switched off), it runs under qemu's user-mode emulator,
# registered with binfmt_misc. qemu 8.1 or later only: older ones search the guest's
# address space page by page on every mapping, and Wine's reservations then make each
# process start take some 45 s instead of under one. Registered without the F flag, so
# the kernel opens the emulator at each start and an upgrade takes effect at once; other
# registrations for 32-bit x86 programs (the distribution's, pinning whatever binary was
# there when they were made) make way for ours.
at_least_8_1() {  # "MAJOR MINOR"
  [ $# -eq 2 ] && { [ "$1" -gt 8 ] || { [ "$1" -eq 8 ] && [ "$2" -ge 1 ]; }; }
}
qemu_recent() {
  at_least_8_1 $(qemu-i386 --version 2>/dev/null | sed -n '1s/.*version \([0-9]*\)\.\([0-9]*\).*/\1 \2/p')
}
if [ -n "$(nimb_i386_binfmt_entries)" ] || ! wine --version >/dev/null 2>&1; then
  if ! qemu_recent; then
    export DEBIAN_FRONTEND=noninteractive
    codename=$(. /etc/os-release; echo "$VERSION_CODENAME")
    release=$codename
    at_least_8_1 $(apt-cache policy -t "$codename" qemu-user 2>/dev/null |
      sed -n 's/^  Candidate: \([0-9]*:\)\{0,1\}\([0-9]*\)\.\([0-9]*\).*/\2 \3/p') ||
      release=$codename-backports
    if [ "$release" != "$codename" ] && ! apt-cache policy 2>/dev/null | grep -q " $release/"; then
      printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' "$release" |
        $SUDO tee /etc/apt/sources.list.d/nimb-backports.sources >/dev/null
      $SUDO apt-get update -qq || true
    fi
    $SUDO apt-get install -y -qq --no-install-recommends -t "$release" qemu-user
    qemu_recent
  fi
  [ -f /proc/sys/fs/binfmt_misc/register ] ||
    $SUDO mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  ours=/proc/sys/fs/binfmt_misc/nimb-i386
  qemu=$(command -v qemu-i386)
  for entry in $(nimb_i386_binfmt_entries); do
    if [ "$entry" = $ours ] && grep -qx enabled $ours && grep -qx "interpreter $qemu" $ours &&
       ! grep -q '^flags:.*F' $ours; then
      continue
    fi
    echo -1 | $SUDO tee "$entry" >/dev/null
  done
  [ -f $ours ] ||
    printf '%s' ':nimb-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':' |
      $SUDO tee /proc/sys/fs/binfmt_misc/register >/dev/null
fi
