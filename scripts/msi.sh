#!/usr/bin/env bash
# Makes Veltmor's Windows Installer package from installer/veltmor.wxs with
# wixl (msitools), the one way scripts/dist.sh and the install test make it:
#   scripts/msi.sh ARCH VERSION BINDIR OUTFILE
#     ARCH     x64 (64-bit Windows) or x86 (32-bit Windows)
#     VERSION  MAJOR.MINOR.BUILD, the version of CMakeLists.txt's project()
#     BINDIR   a folder holding that architecture's Veltmor.exe and veltmor-scan.exe
#     OUTFILE  the package to write
# The package's README.txt is scripts/dist-readme.txt for that version and
# architecture with Windows line ends, the zips' readme:
#   scripts/msi.sh --readme ARCH VERSION      writes it to standard output
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() { echo "usage: msi.sh ARCH VERSION BINDIR OUTFILE | msi.sh --readme ARCH VERSION" >&2; exit 2; }
fail() { echo "msi: $*" >&2; exit 1; }

bits_of() {  # ARCH
    case $1 in
        x64) echo 64 ;;
        x86) echo 32 ;;
        *) fail "ARCH is x64 or x86, not '$1'" ;;
    esac
}

readme() {  # ARCH VERSION
    local bits
    bits=$(bits_of "$1")
    sed "s/@BITS@/$bits/g; s/@VERSION@/$2/g" "$root/scripts/dist-readme.txt" | sed 's/$/\r/'
}

if [ "${1:-}" = --readme ]; then
    [ $# -eq 3 ] || usage
    readme "$2" "$3"
    exit 0
fi
[ $# -eq 4 ] || usage
arch=$1 version=$2 bindir=$3 out=$4
bits_of "$arch" >/dev/null

# Windows Installer reads MAJOR.MINOR.BUILD (255.255.65535 at most) and
# compares those three fields only.
[[ $version =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)$ ]] || fail "VERSION is MAJOR.MINOR.BUILD, not '$version'"
major=$((10#${BASH_REMATCH[1]})) minor=$((10#${BASH_REMATCH[2]})) build=$((10#${BASH_REMATCH[3]}))
[ $major -le 255 ] && [ $minor -le 255 ] && [ $build -lt 65535 ] ||
    fail "VERSION $version is past what Windows Installer takes (255.255.65534 here)"
version=$major.$minor.$build
upgrade_below=$major.$minor.$((build + 1))

# The machine a program is built for (its PE header), against the package's.
machine() {  # file: x64, x86 or another
    local pe
    pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    case $(od -An -tx1 -j$((pe)) -N6 "$1" | tr -d ' \n') in
        504500006486) echo x64 ;;
        504500004c01) echo x86 ;;
        *) echo unknown ;;
    esac
}
for program in Veltmor.exe veltmor-scan.exe; do
    [ -f "$bindir/$program" ] || fail "no $bindir/$program"
    [ "$(machine "$bindir/$program")" = "$arch" ] || fail "$bindir/$program is not an $arch program"
done

stage=$(mktemp -d "${TMPDIR:-/tmp}/veltmor-msi.XXXXXX")
trap 'rm -rf "$stage"' EXIT
cp "$bindir/Veltmor.exe" "$bindir/veltmor-scan.exe" "$stage/"
readme "$arch" "$version" >"$stage/README.txt"

mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
# wixl takes no absolute path as a file's Source: it runs in the stage.
(cd "$stage" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D UpgradeBelow="$upgrade_below" \
    -D BinDir=. -o "$out.new" "$root/installer/veltmor.wxs") 2>"$stage/wixl.log" ||
    { cat "$stage/wixl.log" >&2; rm -f "$out.new"; fail "wixl failed"; }
# wixl goes on past an attribute it does not know, with a GLib warning only:
# an attribute the package needs must never be dropped silently.
if grep -q . "$stage/wixl.log"; then
    cat "$stage/wixl.log" >&2
    rm -f "$out.new"
    fail "wixl warned; the package would not be what installer/veltmor.wxs says"
fi
# The data folders' descriptor: owned by SYSTEM, changed by SYSTEM and the
# administrators alone, inheriting nothing from ProgramData (where users may
# add folders). An elevated veltmor-scan refuses a folder any other account
# may change. Windows Installer 5 sets it as CreateFolders makes them.
locked='O:SYG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)'
{
    printf 'MsiLockPermissionsEx\tLockObject\tTable\tSDDLText\tCondition\r\n'
    printf 's72\ts72\ts32\ts0\tS255\r\n'
    printf 'MsiLockPermissionsEx\tMsiLockPermissionsEx\r\n'
    for folder in VELTMORDATA VELTMORQUARANTINE; do
        printf 'Lock%s\t%s\tCreateFolder\t%s\t\r\n' "$folder" "$folder" "$locked"
    done
} >"$stage/MsiLockPermissionsEx.idt"
(cd "$stage" && msibuild "$out.new" -i MsiLockPermissionsEx.idt) 2>"$stage/msibuild.log" ||
    { cat "$stage/msibuild.log" >&2; rm -f "$out.new"; fail "msibuild failed"; }
mv "$out.new" "$out"
