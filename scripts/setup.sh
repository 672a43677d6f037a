#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Veltmor.
# 64-bit only: wine32 / the i386 architecture are never added (32-bit code
# cannot run on this kind of machine and the i386 wine breaks the 64-bit one).
set -euo pipefail

need=()
have() { command -v "$1" >/dev/null 2>&1; }
have i686-w64-mingw32-g++-posix   || need+=(g++-mingw-w64-i686)
have x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64)
have x86_64-w64-mingw32-windres   || need+=(binutils-mingw-w64-x86-64)
have wine64 || [ -x /usr/lib/wine/wine64 ] || need+=(wine64)
have wine   || need+=(wine)
[ -f /usr/share/wine/fonts/marlett.ttf ] || need+=(fonts-wine)
have xvfb-run || need+=(xvfb)
have xdotool  || need+=(xdotool)
[ -x /usr/bin/convert ] && have import || need+=(imagemagick)
have cmake    || need+=(cmake)
have zip      || need+=(zip)
# GNU time: a test reads the scanner's peak memory.
[ -x /usr/bin/time ] || need+=(time)
have g++      || need+=(g++)
# The fuzz target (scripts/fuzz.sh): clang and its libFuzzer and sanitizer
# runtimes, which clang only recommends.
have clang++  || need+=(clang)
compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null || need+=(libclang-rt-14-dev)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest libgtest-dev)
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)
have python3  || need+=(python3)
# The fleet report's page is tested in a real browser (headless Chromium
# driven by puppeteer-core from npm); the installer packages are made with
# wixl and read back with msiinfo.
have chromium || need+=(chromium)
have node     || need+=(nodejs)
have npm      || need+=(npm)
have wixl     || need+=(wixl)
have msiinfo  || need+=(msitools)
# Wine runs in the Japanese code page (932) under LC_ALL=ja_JP.UTF-8, once
# that Unix locale exists; one Wine test needs it.
have localedef && [ -f /usr/share/i18n/locales/ja_JP ] || need+=(locales)

make_locale() {
    locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' && return 0
    $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8 ||
        echo "setup: could not make the ja_JP.UTF-8 locale; the code page 932 test will be skipped" >&2
}

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo

if [ ${#need[@]} -eq 0 ]; then
    make_locale
    exit 0
fi

echo "setup: installing ${need[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
make_locale
