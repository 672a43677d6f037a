#!/usr/bin/env bash
# Every kind of shortcut a Start Menu holds, judged under Wine in one prefix
# (kinds_in_prefix.sh): advertised shortcuts of Veltmor's own package while
# it is installed, after its silent uninstall, and with the installer's
# answers made to fail; .url and .appref-ms files; taskbar pins and
# Explorer's Tombstone folder, with and without --include-pins.
#   kinds.sh VELTMOR.exe VELTMOR-SCAN.exe KINDS_FIXTURE.exe VERSION SOURCE_DIR
set -u
app=$1 scanner=$2 fixture=$3 version=$4 src=$5
here=$(cd "$(dirname "$0")" && pwd)
for tool in wixl msiinfo python3 iconv; do
    command -v $tool >/dev/null || { echo "FAILED: no $tool (bash scripts/setup.sh installs it)"; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/veltmor-kinds.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin64"
cp "$app" "$work/bin64/Veltmor.exe" && cp "$scanner" "$work/bin64/veltmor-scan.exe" || exit 1
bash "$src/scripts/msi.sh" x64 "$version" "$work/bin64" "$work/veltmor.msi" || { echo "FAILED: the package"; exit 1; }
# The package's product code, its feature and the program's component id:
# what an advertised shortcut of it names.
msiinfo export "$work/veltmor.msi" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }' >"$work/product"
msiinfo export "$work/veltmor.msi" Component | tr -d '\r' | awk -F'\t' '$1 == "Program" { print $2 }' >"$work/component"
msiinfo export "$work/veltmor.msi" Feature | tr -d '\r' | tail -n +4 | head -n 1 | cut -f1 >"$work/feature"
timeout 500 bash "$src/scripts/wine-run.sh" --script "$here/kinds_in_prefix.sh" "$work" "$scanner" "$fixture"
rc=$?
[ $rc -eq 0 ] && echo "kinds: passed" || echo "kinds: FAILED (exit status $rc)"
exit $rc
