#!/usr/bin/env bash
# The main job: builds the signed demo Setup.exe, installs the demo product with it under
# Wine (default arguments: --silent; any arguments given go to Setup.exe instead), and
# shows what happened: Setup.exe's full 32-bit exit code, where the product's files landed
# and whether Windows Installer knows the product.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
"$root/scripts/build.sh" demo-setup winrun winquery
nimb_require_wine32
export WINEPREFIX=$build/wineprefix
nimb_start_wine_server
wine_run() { "$root/scripts/wine-run.sh" "$@"; }
[ $# -gt 0 ] || set -- --silent

echo "== Setup.exe $*"
status=0
wine_run "$build/programs/winrun.exe" "$build/bin/Setup.exe" "$@" || status=$?

# The demo product's code, read from the package itself.
product=$(msiinfo export "$build/examples/NimbrelDemo.msi" Property | tr -d '\r' |
          awk -F'\t' '$1 == "ProductCode" { print $2 }')
case $product in "{"*) ;; *) product="{$product}" ;; esac
echo "== Windows Installer's state of the demo product $product"
wine_run "$build/programs/winquery.exe" product "$product" | tr -d '\r' || true
echo "== Where the demo's files landed"
if dir=$(wine_run "$build/programs/winquery.exe" regvalue 'Software\Nimbrel\Demo' InstallDir | tr -d '\r'); then
  echo "$dir"
  ls -l "$(WINEDEBUG=-all winepath -u "$dir" 2>/dev/null)" 2>/dev/null || true
else
  echo "not installed ($dir)"
fi
exit $status
