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
# Two 32-bit stand-ins: the x86 package is only made and read here, never installed.
echo 'int main(void) { return 0; }' >"$work/stub.c"
for program in Veltmor.exe veltmor-scan.exe; do i686-w64-mingw32-gcc -o "$work/bin32/$program" "$work/stub.c" || exit 1; done
check "the x86 package of $version is made" msi x86 "$version" "$work/bin32" "$work/x86.msi"
refuses() { ! bash "$src/scripts/msi.sh" "$@" 2>/dev/null; }
check "msi.sh refuses 64-bit programs for the x86 package" refuses x86 "$version" "$work/bin64" "$work/wrong.msi"
[ $failed -eq 0 ] || exit 1

# Every table of a package exported once, into PACKAGE.t/TABLE, without the 3 heading lines;
# a table the package lacks reads empty.
for package in old new rebuilt x86; do
    mkdir -p "$work/$package.t"
    for name in $(msiinfo tables "$work/$package.msi" | tr -d '\r'); do
        msiinfo export "$work/$package.msi" "$name" | tr -d '\r' | tail -n +4 >"$work/$package.t/$name"
    done
done
table() { cat "$work/$1.t/$2" 2>/dev/null; }
property() { table "$1" Property | awk -F'\t' -v name="$2" '$1 == name { print $2 }'; }
has_row() { table "$p" "$1" | grep -qxF "$2"; }
# Row B of InstallExecuteSequence comes right after row A.
follows() { table "$p" InstallExecuteSequence | grep -A1 -xF "$1" | grep -qxF "$2"; }
ids() { table "$1" Component | cut -f2; }

echo "== the packages' tables (msiinfo)"
for p in old new rebuilt x86; do
    property $p ProductCode >"$work/$p.code"
    case $p in old | x86) v=$version ;; *) v=$newer ;; esac
    IFS=. read -r a b c <<<"$v"
    below=$a.$b.$((c + 1))
    for pair in "UpgradeCode=$upgrade_code" ALLUSERS=1 "ProductVersion=$v" ProductName=Veltmor \
                "Manufacturer=The Veltmor developers" ARPNOMODIFY=1; do
        check "$p.msi: $pair" [ "$(property $p "${pair%%=*}")" = "${pair#*=}" ]
    done
    check "$p.msi: Upgrade removes every Veltmor below $below (this version too)" \
        has_row Upgrade "$upgrade_code	0.0.0	$below		256		VELTMOR_OLDER_FOUND"
    check "$p.msi: Upgrade finds a Veltmor from $below up, and the package refuses it" \
        has_row Upgrade "$upgrade_code	$below			258		VELTMOR_NEWER_FOUND"
    check "  refused by a launch condition" \
        has_row LaunchCondition "NOT VELTMOR_NEWER_FOUND	A newer version of Veltmor is already installed."
    check "$p.msi: RemoveExistingProducts right after InstallValidate" \
        follows "InstallValidate		1400" "RemoveExistingProducts		1401"
    check "$p.msi: the install location set right after CostFinalize (INSTALLDIR known)" \
        follows "CostFinalize		1000" "SetArpInstallLocation		1001"
    check "$p.msi: the shortcut Veltmor in ProgramMenuFolder, to the program, starting in its folder" \
        has_row Shortcut "VeltmorShortcut	ProgramMenuFolder	Veltmor	Program	[INSTALLDIR]Veltmor.exe		Finds broken shortcuts in the Start Menu					INSTALLDIR				"
    check "$p.msi: no registry value or removal of its own" [ -z "$(table $p Registry; table $p RemoveFile)" ]
    check "$p.msi: ProgramData\\Veltmor\\Quarantine made" [ "$(table $p CreateFolder | LC_ALL=C sort | tr '\t\n' ': ')" = \
                                                          "VELTMORDATA:DataFolder VELTMORQUARANTINE:QuarantineFolder " ]
    check "  both owned by SYSTEM, changed by SYSTEM and the administrators alone" \
        [ "$(table $p MsiLockPermissionsEx | cut -f2- | LC_ALL=C sort -u | tr '\t\n' ': ')" = \
          "VELTMORDATA:CreateFolder:O:SYG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA): VELTMORQUARANTINE:CreateFolder:O:SYG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA): " ]
    check "  no custom action but the install location" \
        [ "$(table $p CustomAction | cut -f1,3,4)" = "SetArpInstallLocation	ARPINSTALLLOCATION	[INSTALLDIR]" ]
    check "$p.msi: the three files" [ "$(table $p File | cut -f1,3 | LC_ALL=C sort | tr '\t\n' ': ')" = \
                                      "ReadmeTxt:README.txt VeltmorExe:Veltmor.exe VeltmorScanExe:veltmor-scan.exe " ]
    template=x64 folder=ProgramFiles64Folder attributes=256
    [ $p != x86 ] || template=Intel folder=ProgramFilesFolder attributes=0
    check "$p.msi: Template $template;1033" \
        [ "$(msiinfo suminfo "$work/$p.msi" | tr -d '\r' | sed -n 's/^Template: //p')" = "$template;1033" ]
    check "$p.msi: into $folder\\Veltmor" has_row Directory "INSTALLDIR	$folder	Veltmor"
    check "$p.msi: every component's attributes $attributes (256: 64-bit)" \
        [ "$(table $p Component | cut -f4 | sort -u)" = $attributes ]
    [ $p != x86 ] || check "x86.msi: no 64-bit folder" eval '! table x86 Directory | grep -q ProgramFiles64Folder'
done
check "each package its own ProductCode" \
    [ "$(cat "$work"/{old,new,rebuilt,x86}.code | grep -E '^\{[0-9A-F-]{36}\}$' | sort -u | wc -l)" -eq 4 ]
check "the same component ids in every x64 package" [ "$(ids old)" = "$(ids new)" ]
check "  others in the x86 package" [ -z "$(LC_ALL=C comm -12 <(ids old | LC_ALL=C sort) <(ids x86 | LC_ALL=C sort))" ]
# Every id the registry could keep of us, for the check after the uninstall.
{
    echo "$upgrade_code"
    cat "$work"/{old,new,rebuilt,x86}.code
    ids old; ids x86
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
