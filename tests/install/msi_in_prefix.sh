#!/usr/bin/env bash
# The Wine half of msi_test.sh, run by scripts/wine-run.sh --script in one
# fresh prefix: install, repair, upgrade, a refused downgrade, uninstall, and
# what each leaves. WORK holds the packages made by msi_test.sh:
#   old.msi (VERSION), new.msi and rebuilt.msi (NEWER, two product codes),
#   their product codes in old.code, new.code, rebuilt.code, and ids (every
#   code and component id of the packages, one a line).
#   msi_in_prefix.sh WORK VERSION NEWER BUILD_SCANNER.exe
set -u
work=$1 version=$2 newer=$3 build_scanner=$4
here=$(cd "$(dirname "$0")" && pwd)
tools() { python3 "$here/msi_tools.py" "$@"; }
windows() { echo "Z:${1//\//\\}"; }
c="$WINEPREFIX/drive_c"
installed="$c/Program Files/Veltmor"
old=$(cat "$work/old.code") new=$(cat "$work/new.code") rebuilt=$(cat "$work/rebuilt.code")
log="$work/wine.log"  # Wine's own messages
failed=0
check() {  # description, command...
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failed=1; fi
}
step() { echo "== $*"; }
msiexec() { wine msiexec "$@" 2>>"$log"; }
uninstall_entries() {  # the Veltmor entries in Programs and Features, both registry views
    { wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s
      wine reg query 'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall' /s
    } 2>>"$log" | tools arp
}
shortcuts() { find "$c" -iname 'veltmor*.lnk'; }
readme_says() { head -n 1 "$installed/README.txt" | tr -d '\r' | grep -qx "Veltmor $1 (64-bit)"; }

succeeds() {  # description, msiexec's arguments...
    local what=$1; shift
    msiexec "$@"
    check "$what succeeds" [ $? -eq 0 ]
}
# What the prefix holds before: every file and folder.
files() { (cd "$c" && find . | LC_ALL=C sort); }
files >"$work/files.before"

# The one entry in Programs and Features, for product CODE at version V.
one_entry() {  # code version
    local entries
    entries=$(uninstall_entries)
    echo "$entries" | sed 's/^/    /'
    [ "$entries" = "$1	$2	The Veltmor developers	C:\Program Files\Veltmor\	MsiExec.exe /X$1	0x1" ]
}

# The shortcut: one, in a Programs folder of the Start Menu, to the program,
# starting in its folder; the installed scanner lists it as working.
shortcut_works() {
    local found target working location
    found=$(shortcuts)
    echo "    $found"
    [ "$(echo "$found" | grep -c .)" -eq 1 ] || return 1
    case $found in
        "$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Veltmor.lnk") ;;
        "$c"/users/*/AppData/Roaming/Microsoft/Windows/"Start Menu"/Programs/Veltmor.lnk)
            # Windows puts a per-machine package's ProgramMenuFolder in the
            # all-users Start Menu; Wine's msi takes the user's whatever
            # ALLUSERS says ("FIXME: set to AllUsers profile path if ALLUSERS
            # is set", dlls/msi/package.c).
            echo "    (the user's Programs folder: Wine's msi takes it for ProgramMenuFolder even per machine)" ;;
        *) return 1 ;;
    esac
    { read -r target; read -r working; } < <(tools lnk "$found")
    echo "    target $target, starts in $working"
    [ "$target" = 'C:\Program Files\Veltmor\Veltmor.exe' ] || return 1
    case $working in 'C:\Program Files\Veltmor' | 'C:\Program Files\Veltmor\') ;; *) return 1 ;; esac
    wine 'C:\Program Files\Veltmor\veltmor-scan.exe' --location all --all --format json >"$work/scan.json" 2>>"$log"
    local status=$?
    location=$(tools scan "$work/scan.json" 'C:\Program Files\Veltmor\Veltmor.exe') || return 1
    echo "    veltmor-scan: exit status $status, the shortcut present in location $location"
    [ $status -eq 0 ]
}
same_programs() {
    cmp -s "$installed/Veltmor.exe" "$work/bin64/Veltmor.exe" &&
        cmp -s "$installed/veltmor-scan.exe" "$work/bin64/veltmor-scan.exe"
}

# Veltmor VERSION in place as product CODE: the build's programs, that
# version's README, a working shortcut, one entry in Programs and Features.
holds() {  # code version
    check "  the programs are the build's" same_programs
    check "  the README is version $2's" readme_says "$2"
    check "  the Start Menu shortcut to Veltmor works" shortcut_works
    check "  one entry in Programs and Features: Veltmor $2, product $1" one_entry "$1" "$2"
}

step "install $version: msiexec /i old.msi /qn"
succeeds "the install" /i "$(windows "$work/old.msi")" /qn
check "  Program Files\\Veltmor holds the two programs and the README, nothing else" \
    [ "$(ls "$installed" 2>/dev/null | tr '\n' ' ')" = "README.txt Veltmor.exe veltmor-scan.exe " ]
holds "$old" "$version"
check "  ProgramData\\Veltmor\\Quarantine is there" [ -d "$c/ProgramData/Veltmor/Quarantine" ]
# Wine runs programs elevated: the installed scanner checks who may change
# the folder before it reads it, and takes it (a dry run leaves it empty).
wine 'C:\Program Files\Veltmor\veltmor-scan.exe' --restore 'C:\ProgramData\Veltmor\Quarantine' --dry-run \
    >/dev/null 2>>"$log"
status=$?
check "  an elevated --restore takes it as the administrators' (exit status $status)" [ $status -eq 0 ]

step "repair: msiexec /i $old REINSTALL=ALL REINSTALLMODE=amus /qn (what /fa does; Wine's msiexec takes no /f with a product code)"
rm -f "$installed/veltmor-scan.exe" "$(shortcuts)"  # the scanner and the shortcut deleted, the README changed
echo "changed" >"$installed/README.txt"
succeeds "the repair" /i "$old" REINSTALL=ALL REINSTALLMODE=amus /qn
holds "$old" "$version"

step "upgrade to $newer: msiexec /i new.msi /qn"
succeeds "the upgrade" /i "$(windows "$work/new.msi")" /qn
holds "$new" "$newer"
gone_from_registry() { ! wine reg query "HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\\$1" >/dev/null 2>&1; }
check "  the $version package's entry is gone" gone_from_registry "$old"

step "the same version rebuilt (another product code): msiexec /i rebuilt.msi /qn"
succeeds "the install" /i "$(windows "$work/rebuilt.msi")" /qn
holds "$rebuilt" "$newer"

step "downgrade to $version: msiexec /i old.msi /qn (refused)"
msiexec /i "$(windows "$work/old.msi")" /qn /l*v "$(windows "$work/downgrade.log")"
status=$?
check "the downgrade is refused (exit status $status)" [ $status -ne 0 ]
check "  because a newer Veltmor was found" grep -a -q "VELTMOR_NEWER_FOUND = {" "$work/downgrade.log"
still_newer() { one_entry "$rebuilt" "$newer" >/dev/null && readme_says "$newer" && same_programs; }
check "  Veltmor $newer stays: its one entry, its README, the programs" still_newer

step "uninstall: msiexec /x $rebuilt /qn"
succeeds "the uninstall" /x "$rebuilt" /qn
check "no Veltmor entry in Programs and Features" [ -z "$(uninstall_entries)" ]
check "no shortcut of ours" [ -z "$(shortcuts)" ]
check "no Program Files\\Veltmor" [ ! -e "$installed" ]

# Everything written to the prefix since the start, now that the registry is
# on disk (wineserver saves it when the last program has gone). Windows
# Installer's own folder (C:\Windows\Installer) may stay, empty: on Windows it
# is always there.
wineserver -w
files >"$work/files.after"
LC_ALL=C comm -13 "$work/files.before" "$work/files.after" | sed '\#^\./windows/Installer$#d' >"$work/files.new"
LC_ALL=C comm -23 "$work/files.before" "$work/files.after" >"$work/files.gone"
check "no file or folder left behind" [ ! -s "$work/files.new" ]
check "  Windows Installer's cache keeps no package of ours" [ -z "$(ls -A "$c/windows/Installer" 2>/dev/null)" ]
check "no file or folder that was there before is gone" [ ! -s "$work/files.gone" ]
sed 's/^/    left: /' "$work/files.new"
sed 's/^/    gone: /' "$work/files.gone"

# Our names, product codes, upgrade code and component ids, as written and
# as Windows Installer's keys spell them, anywhere in the registry.
{
    echo veltmor
    while read -r id; do echo "${id//[\{\}]/}"; tools packed "$id"; done <"$work/ids"
} >"$work/patterns"
grep -i -F -f "$work/patterns" "$WINEPREFIX"/system.reg "$WINEPREFIX"/user.reg "$WINEPREFIX"/userdef.reg \
    >"$work/registry.ours"
check "no registry key or value of ours" [ ! -s "$work/registry.ours" ]
sed 's/^/    ours: /' "$work/registry.ours" | head -n 20

step "veltmor-scan --location all --all (the build's), after the uninstall"
wine "$(windows "$build_scanner")" --location all --all --format json >"$work/final.json" 2>>"$log"
status=$?
check "it finds no broken shortcut (exit status $status)" [ $status -eq 0 ]
check "  and no shortcut of Veltmor's among all it lists" tools none "$work/final.json"

exit $failed
