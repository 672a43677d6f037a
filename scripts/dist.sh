#!/usr/bin/env bash
# Makes one zip per architecture in dist/: the program, the command-line
# scanner and a short readme.
#   dist/veltmor-1.1.1-win32.zip   the 32-bit programs (32-bit Windows)
#   dist/veltmor-1.1.1-win64.zip   the 64-bit programs (64-bit Windows)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
version=1.1.1
rm -rf dist && mkdir -p dist

for arch in win32 win64; do
    case $arch in
        win32) toolchain=cmake/mingw-i686.cmake; bits=32 ;;
        win64) toolchain=cmake/mingw-x86_64.cmake; bits=64 ;;
    esac
    cmake -S . -B "build/$arch" -DCMAKE_TOOLCHAIN_FILE=$toolchain >/dev/null
    cmake --build "build/$arch" -j "$(nproc)" --target veltmor veltmor_scan >/dev/null
    stage=$(mktemp -d)
    cp "build/$arch/app/Veltmor.exe" "$stage/Veltmor.exe"
    cp "build/$arch/cli/veltmor-scan.exe" "$stage/veltmor-scan.exe"
    case $arch in win32) strip=i686-w64-mingw32-strip ;; win64) strip=x86_64-w64-mingw32-strip ;; esac
    $strip "$stage/Veltmor.exe" "$stage/veltmor-scan.exe"
    sed "s/@BITS@/$bits/g; s/@VERSION@/$version/g" scripts/dist-readme.txt | sed 's/$/\r/' > "$stage/README.txt"
    (cd "$stage" && zip -q -X "$OLDPWD/dist/veltmor-$version-$arch.zip" Veltmor.exe veltmor-scan.exe README.txt)
    rm -rf "$stage"
    echo "wrote dist/veltmor-$version-$arch.zip"
done
