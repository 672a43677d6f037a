#!/usr/bin/env bash
# Builds every configuration and runs every test:
#   native   the portable logic under GoogleTest with AddressSanitizer/UBSan
#   win32    the shipped 32-bit program (built, warnings are errors)
#   win64    the same sources for 64-bit Windows; its tests run under Wine
#            inside Xvfb, each test program in a throw-away Wine prefix
# Installs what the machine lacks first.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh || exit 1

jobs=$(nproc)
failed=0
passed_total=0
failed_total=0

configure_and_build() {  # name, extra cmake arguments...
    local name=$1; shift
    cmake -S . -B "build/$name" -DVELTMOR_WERROR=ON "$@" >/dev/null || return 1
    cmake --build "build/$name" -j "$jobs" 2>&1 | grep -v -E '^\[ *[0-9]+%\]|^-- ' || true
    [ "${PIPESTATUS[0]}" -eq 0 ]
}

run_ctest() {  # name, [wrapper...]
    local name=$1; shift
    local log="build/$name/ctest.log"
    "$@" ctest --test-dir "build/$name" --output-on-failure -j "$jobs" 2>&1 | tee "$log"
    local ok bad
    ok=$(grep -E '^[0-9]+% tests passed' "$log" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2 \1/')
    if [ -z "$ok" ]; then failed=1; return; fi
    set -- $ok
    passed_total=$((passed_total + $1 - $2))
    failed_total=$((failed_total + $2))
    [ "$2" -eq 0 ] || failed=1
}

echo "== native build and tests"
if configure_and_build native; then run_ctest native; else echo "native build FAILED"; failed=1; fi

echo "== fuzzing the shortcut structure check (20 s)"
bash scripts/fuzz.sh 20 || { echo "fuzzing FAILED"; failed=1; }

echo "== win32 build (shipped program)"
configure_and_build win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake || { echo "win32 build FAILED"; failed=1; }

echo "== win64 build and tests under Wine"
# Each test program on an X server of its own (scripts/wine-run.sh).
export VELTMOR_OWN_DISPLAY=1
if configure_and_build win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake; then
    run_ctest win64 xvfb-run -a -s "-screen 0 1280x1024x24"
else
    echo "win64 build FAILED"; failed=1
fi

echo
echo "${passed_total} passed, ${failed_total} failed"
exit $failed
