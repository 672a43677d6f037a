#!/usr/bin/env bash
# Builds Veltmor and starts it under Wine. Installs what the machine lacks.
#
# The shipped program is the 32-bit build (build/win32/app/Veltmor.exe). A
# Wine that cannot run 32-bit programs (only the 64-bit loader installed, as
# on the project's machines) starts the 64-bit build of the same sources.
# Without a display it says so and tells how to get pictures instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build/win32 -j "$jobs" --target veltmor >/dev/null
cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build build/win64 -j "$jobs" --target veltmor >/dev/null
echo "built build/win32/app/Veltmor.exe (32-bit) and build/win64/app/Veltmor.exe (64-bit)"

if [ -z "${DISPLAY:-}" ]; then
    cat >&2 <<'TXT'
run: no display ($DISPLAY is not set), so the Veltmor window cannot be shown here.
  On a desktop, run this command again from a terminal of that desktop.
  For pictures of the real window instead:  bash scripts/screenshot.sh   (writes docs/*.png)
TXT
    exit 1
fi

program=build/win32/app/Veltmor.exe
if [ ! -x /usr/lib/wine/wine ]; then  # the 32-bit loader that wine32 brings
    echo "run: this Wine runs 64-bit programs only; starting the 64-bit build"
    program=build/win64/app/Veltmor.exe
fi
export WINEDEBUG=${WINEDEBUG:--all}
exec wine "$program"
