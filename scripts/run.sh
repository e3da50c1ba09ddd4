#!/usr/bin/env bash
# The main job: builds the signed demo Setup.exe, installs the demo product with it under
# Wine (default arguments: --silent; any arguments given go to Setup.exe instead), and
# shows what happened: Setup.exe's full 32-bit exit code, whether Windows Installer knows
# each of the demo's products and where it put their files, and whether the publisher
# certificate is among the machine's trusted publishers. Exits 0 when Setup.exe ended with
# 0 or 3010 (installed; a reboot asked for), else 1.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
"$root/scripts/build.sh" demo-setup winrun winquery
nimb_require_wine32
export WINEPREFIX=$build/wineprefix
nimb_start_wine_server
wine_run() { "$root/scripts/wine-run.sh" "$@"; }
winquery() { wine_run "$build/programs/winquery.exe" "$@" | tr -d '\r'; }
[ $# -gt 0 ] || set -- --silent

echo "== Setup.exe $*"
# winrun prints the program's output and then its whole exit code, which a Unix shell
# would only see modulo 256.
run_out=$(wine_run "$build/programs/winrun.exe" "$build/bin/Setup.exe" "$@") || true
printf '%s\n' "$run_out"
exit_code=$(printf '%s\n' "$run_out" | tr -d '\r' | sed -n 's/^\[exit code \([0-9]*\)\]$/\1/p' | tail -n 1)
[ -n "$exit_code" ] || { echo "run.sh: Setup.exe did not run" >&2; exit 1; }

# A value of a package's Property or Component table, read from the package itself.
msi_value() {   # package table key-column value-column
  msiinfo export "$1" "$2" | tr -d '\r' | awk -F'\t' -v k="$3" -v c="$4" '$1 == k { print $c }'
}
braced() { case $1 in "{"*) echo "$1" ;; *) echo "{$1}" ;; esac; }

for package in "$build/examples/NimbrelDemo.msi" "$build/examples/NimbrelDemoDocs.msi"; do
  name=$(msi_value "$package" Property ProductName 2)
  product=$(braced "$(msi_value "$package" Property ProductCode 2)")
  echo "== $name $product"
  echo "Windows Installer: $(winquery product "$product" || true)"
  # Every component of the package: where Windows Installer put its key file, and what
  # lies beside it.
  for component in $(msiinfo export "$package" Component | tr -d '\r' | awk -F'\t' 'NR > 3 { print $2 }'); do
    if key=$(winquery component "$product" "$(braced "$component")"); then
      echo "Files in ${key%\\*}\\:"
      { ls -l "$(WINEDEBUG=-all winepath -u "${key%\\*}" 2>/dev/null)" || true; } | sed 1d
    else
      echo "Files: none ($key)"
    fi
  done
done

# The certificate a silent run adds: the one embedded in the stub.
cert=$(sed -n 's/^NIMB_PUBLISHER_CERT:FILEPATH=//p' "$build/CMakeCache.txt")
[ -n "$cert" ] || cert=$build/certs/test-publisher.cer
thumbprint=$(sha1sum "$cert" | cut -d' ' -f1 | tr a-f A-F)
echo "== Publisher certificate $thumbprint in the machine's TrustedPublisher store"
winquery cert TrustedPublisher "$thumbprint" || true

echo "== Setup.exe's exit code: $exit_code"
case $exit_code in 0|3010) exit 0 ;; *) exit 1 ;; esac
