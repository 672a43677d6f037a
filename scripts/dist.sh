#!/usr/bin/env bash
# Makes the distribution in dist/, for each architecture a zip (the program,
# the command-line scanner, the fleet report for administrators and a short
# readme) and a Windows Installer package of the program, the scanner and the
# readme (scripts/msi.sh, installer/veltmor.wxs):
#   dist/veltmor-VERSION-win32.zip   the 32-bit programs (32-bit Windows)
#   dist/veltmor-VERSION-win64.zip   the 64-bit programs (64-bit Windows)
#   dist/veltmor-VERSION-x86.msi     the 32-bit programs, per machine
#   dist/veltmor-VERSION-x64.msi     the 64-bit programs, per machine
# VERSION is the one of project() in CMakeLists.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
version=$(sed -n 's/^project(Veltmor VERSION \([0-9.]*\)[ )].*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "dist: no version in CMakeLists.txt's project()" >&2; exit 1; }
rm -rf dist && mkdir -p dist

for arch in win32 win64; do
    case $arch in
        win32) toolchain=cmake/mingw-i686.cmake; msi_arch=x86 strip=i686-w64-mingw32-strip ;;
        win64) toolchain=cmake/mingw-x86_64.cmake; msi_arch=x64 strip=x86_64-w64-mingw32-strip ;;
    esac
    cmake -S . -B "build/$arch" -DCMAKE_TOOLCHAIN_FILE=$toolchain >/dev/null
    cmake --build "build/$arch" -j "$(nproc)" --target veltmor veltmor_scan veltmor_report >/dev/null
    stage=$(mktemp -d)
    cp "build/$arch/app/Veltmor.exe" "$stage/Veltmor.exe"
    cp "build/$arch/cli/veltmor-scan.exe" "$stage/veltmor-scan.exe"
    cp "build/$arch/report/veltmor-report.exe" "$stage/veltmor-report.exe"
    $strip "$stage/Veltmor.exe" "$stage/veltmor-scan.exe" "$stage/veltmor-report.exe"
    bash scripts/msi.sh --readme $msi_arch "$version" > "$stage/README.txt"
    (cd "$stage" && zip -q -X "$OLDPWD/dist/veltmor-$version-$arch.zip" Veltmor.exe veltmor-scan.exe veltmor-report.exe README.txt)
    echo "wrote dist/veltmor-$version-$arch.zip"
    bash scripts/msi.sh $msi_arch "$version" "$stage" "dist/veltmor-$version-$msi_arch.msi"
    echo "wrote dist/veltmor-$version-$msi_arch.msi"
    rm -rf "$stage"
done
