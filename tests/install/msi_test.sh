#!/usr/bin/env bash
# The Windows Installer package, made as scripts/dist.sh makes it
# (scripts/msi.sh) from this build's programs, and deployed the way fleets
# deploy it, under Wine, in one fresh prefix: silent install, repair,
# upgrade to a higher version, a rebuilt package of that version, a refused
# downgrade, silent uninstall, and nothing of ours left (msi_in_prefix.sh).
# Before that the packages' tables are read back with msiinfo: the upgrade
# code, the per-machine scope, the version, the upgrade rows; and the x86
# package, which cannot be installed here (no 32-bit Wine), is made and read.
#   msi_test.sh VELTMOR.exe VELTMOR-SCAN.exe VERSION SOURCE_DIR
set -u
app=$1 scanner=$2 version=$3 src=$4
here=$(cd "$(dirname "$0")" && pwd)
# Never changes: a newer package replaces an older one through it.
upgrade_code='{014F8D67-09FE-41CC-9A83-51D1DCE38FC5}'

for tool in wixl msiinfo python3; do
    command -v $tool >/dev/null || { echo "FAILED: no $tool (bash scripts/setup.sh installs it)"; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/veltmor-msi-test.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
failed=0
check() {  # description, command...
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failed=1; fi
}

# The higher version of the upgrade: the build field plus one.
IFS=. read -r major minor build <<<"$version"
newer=$major.$minor.$((build + 1))

echo "== packages (scripts/msi.sh): x64 $version, x64 $newer twice, x86 $version"
mkdir -p "$work/bin64" "$work/bin32"
cp "$app" "$work/bin64/Veltmor.exe" && cp "$scanner" "$work/bin64/veltmor-scan.exe" || exit 1
# Stripped, as scripts/dist.sh ships them.
x86_64-w64-mingw32-strip "$work/bin64/Veltmor.exe" "$work/bin64/veltmor-scan.exe" || exit 1
msi() { bash "$src/scripts/msi.sh" "$@" 2>&1; }
check "the x64 package of $version is made" msi x64 "$version" "$work/bin64" "$work/old.msi"
check "the x64 package of $newer is made" msi x64 "$newer" "$work/bin64" "$work/new.msi"
check "  and made again (a rebuild)" msi x64 "$newer" "$work/bin64" "$work/rebuilt.msi"
# The 32-bit programs of build/win32 when they are there; else two 32-bit
# stand-ins, enough for the package's tables.
if [ -f "$src/build/win32/app/Veltmor.exe" ] && [ -f "$src/build/win32/cli/veltmor-scan.exe" ]; then
    cp "$src/build/win32/app/Veltmor.exe" "$src/build/win32/cli/veltmor-scan.exe" "$work/bin32/" || exit 1
    i686-w64-mingw32-strip "$work/bin32/Veltmor.exe" "$work/bin32/veltmor-scan.exe" || exit 1
    echo "   (x86: the programs of build/win32)"
else
    echo 'int main(void) { return 0; }' >"$work/stub.c"
    for program in Veltmor.exe veltmor-scan.exe; do
        i686-w64-mingw32-gcc -o "$work/bin32/$program" "$work/stub.c" || exit 1
    done
    echo "   (x86: no build/win32, two 32-bit stand-ins)"
fi
check "the x86 package of $version is made" msi x86 "$version" "$work/bin32" "$work/x86.msi"
refuses() { ! bash "$src/scripts/msi.sh" "$@" 2>/dev/null; }
check "msi.sh refuses 64-bit programs for the x86 package" refuses x86 "$version" "$work/bin64" "$work/wrong.msi"
[ $failed -eq 0 ] || exit 1

table() { msiinfo export "$1" "$2" | tr -d '\r' | tail -n +4; }  # rows without the 3 heading lines
property() { table "$1" Property | awk -F'\t' -v name="$2" '$1 == name { print $2 }'; }
summary() { msiinfo suminfo "$1" | tr -d '\r' | sed -n "s/^$2: //p"; }
has_row() { table "$1" "$2" | grep -qxF "$3"; }
for package in old new rebuilt; do property "$work/$package.msi" ProductCode >"$work/$package.code"; done
property "$work/x86.msi" ProductCode >"$work/x86.code"

# Checks of one package F (the variables f, v, below).
refuses_newer() {
    has_row "$f" Upgrade "$upgrade_code	$below			258		VELTMOR_NEWER_FOUND" &&
        has_row "$f" LaunchCondition "NOT VELTMOR_NEWER_FOUND	A newer version of Veltmor is already installed."
}
removes_first() { table "$f" InstallExecuteSequence | grep -A1 -x "InstallValidate		1400" | grep -qx "RemoveExistingProducts		1401"; }
location_known() { table "$f" InstallExecuteSequence | grep -A1 -x "CostFinalize		1000" | grep -qx "SetArpInstallLocation		1001"; }
writes_nothing_else() {
    [ -z "$(table "$f" Registry; table "$f" CreateFolder; table "$f" RemoveFile)" ] &&
        [ "$(table "$f" CustomAction | cut -f1,3,4)" = "SetArpInstallLocation	ARPINSTALLLOCATION	[INSTALLDIR]" ]
}
three_files() {
    [ "$(table "$f" File | cut -f1,3 | LC_ALL=C sort | tr '\t\n' ': ')" = "ReadmeTxt:README.txt VeltmorExe:Veltmor.exe VeltmorScanExe:veltmor-scan.exe " ]
}
components_are() { [ "$(table "$f" Component | cut -f4 | sort -u)" = "$1" ]; }
no_64bit_folder() { ! table "$f" Directory | grep -q ProgramFiles64Folder; }
same_x64_ids() { [ "$(table "$work/old.msi" Component | cut -f2)" = "$(table "$work/new.msi" Component | cut -f2)" ]; }
x86_ids_differ() {
    [ -z "$(LC_ALL=C comm -12 <(table "$work/old.msi" Component | cut -f2 | LC_ALL=C sort) \
                               <(table "$work/x86.msi" Component | cut -f2 | LC_ALL=C sort))" ]
}

echo "== the packages' tables (msiinfo)"
for package in old new rebuilt x86; do
    f=$work/$package.msi
    case $package in old | x86) v=$version ;; *) v=$newer ;; esac
    IFS=. read -r a b c <<<"$v"
    below=$a.$b.$((c + 1))
    check "$package.msi: UpgradeCode $upgrade_code" [ "$(property "$f" UpgradeCode)" = "$upgrade_code" ]
    check "$package.msi: per machine (ALLUSERS 1)" [ "$(property "$f" ALLUSERS)" = 1 ]
    check "$package.msi: ProductVersion $v" [ "$(property "$f" ProductVersion)" = "$v" ]
    check "$package.msi: ProductName Veltmor, Manufacturer, ARPNOMODIFY 1" \
        [ "$(property "$f" ProductName)/$(property "$f" Manufacturer)/$(property "$f" ARPNOMODIFY)" = "Veltmor/The Veltmor developers/1" ]
    check "$package.msi: Upgrade removes every Veltmor below $below (this version too)" \
        has_row "$f" Upgrade "$upgrade_code	0.0.0	$below		256		VELTMOR_OLDER_FOUND"
    check "$package.msi: Upgrade finds a Veltmor from $below up, and the package refuses it" refuses_newer
    check "$package.msi: RemoveExistingProducts right after InstallValidate" removes_first
    check "$package.msi: the install location set right after CostFinalize (INSTALLDIR known)" location_known
    check "$package.msi: the shortcut Veltmor in ProgramMenuFolder, to the program, starting in its folder" \
        has_row "$f" Shortcut "VeltmorShortcut	ProgramMenuFolder	Veltmor	Program	[INSTALLDIR]Veltmor.exe		Finds broken shortcuts in the Start Menu					INSTALLDIR				"
    check "$package.msi: no registry value, folder or removal of its own, no custom action but the install location" \
        writes_nothing_else
    check "$package.msi: the three files" three_files
    if [ $package = x86 ]; then
        check "x86.msi: Template Intel;1033" [ "$(summary "$f" Template)" = "Intel;1033" ]
        check "x86.msi: into ProgramFilesFolder\\Veltmor" has_row "$f" Directory "INSTALLDIR	ProgramFilesFolder	Veltmor"
        check "x86.msi: nothing 64-bit" no_64bit_folder
        check "x86.msi: no component 64-bit" components_are 0
    else
        check "$package.msi: Template x64;1033" [ "$(summary "$f" Template)" = "x64;1033" ]
        check "$package.msi: into ProgramFiles64Folder\\Veltmor" has_row "$f" Directory "INSTALLDIR	ProgramFiles64Folder	Veltmor"
        check "$package.msi: every component 64-bit" components_are 256
    fi
done
check "each package its own ProductCode" \
    [ "$(cat "$work"/{old,new,rebuilt,x86}.code | grep -E '^\{[0-9A-F-]{36}\}$' | sort -u | wc -l)" -eq 4 ]
check "the same component ids in every x64 package" same_x64_ids
check "  others in the x86 package" x86_ids_differ
# Every id the registry could keep of us, for the check after the uninstall.
{
    echo "$upgrade_code"
    cat "$work"/{old,new,rebuilt,x86}.code
    for package in old x86; do table "$work/$package.msi" Component | cut -f2; done
} >"$work/ids"
[ $failed -eq 0 ] || exit 1

echo "== under Wine, one prefix (scripts/wine-run.sh --script)"
timeout 500 bash "$src/scripts/wine-run.sh" --script "$here/msi_in_prefix.sh" "$work" "$version" "$newer" "$scanner"
rc=$?
if [ $rc -ne 0 ]; then
    failed=1
    echo "FAILED: the Wine part (exit status $rc); Wine's messages:"
    tail -n 40 "$work/wine.log" 2>/dev/null
fi
[ $failed -eq 0 ] && echo "msi_test: passed" || echo "msi_test: FAILED"
exit $failed
