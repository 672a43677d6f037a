#!/usr/bin/env bash
# Builds Veltmor and starts it under Wine. Installs what the machine lacks.
#
# The shipped program is the 32-bit build (build/win32/app/Veltmor.exe). A
# Wine that cannot run 32-bit programs (only the 64-bit loader installed, as
# on the project's machines) starts the 64-bit build of the same sources.
# Without a display it runs the command-line scanner (veltmor-scan.exe, the
# same scan) on the Wine prefix's Start Menu instead; arguments given to this
# script go to the scanner (see veltmor-scan --help).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build/win32 -j "$jobs" --target veltmor veltmor_scan >/dev/null
cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build build/win64 -j "$jobs" --target veltmor veltmor_scan >/dev/null
echo "built build/win32/app/Veltmor.exe (32-bit) and build/win64/app/Veltmor.exe (64-bit)"

if [ -z "${DISPLAY:-}" ]; then
    scanner=build/win32/cli/veltmor-scan.exe
    [ -x /usr/lib/wine/wine ] || scanner=build/win64/cli/veltmor-scan.exe
    cat >&2 <<TXT
run: no display (\$DISPLAY is not set), so the Veltmor window cannot be shown here;
  running the same scan from the command line instead: $scanner $*
  (on a desktop, run this command from a terminal of that desktop for the window;
  for pictures of it:  bash scripts/screenshot.sh)
TXT
    export WINEDEBUG=${WINEDEBUG:--all}
    status=0
    wine "$scanner" "$@" || status=$?
    # 1 only says that broken shortcuts were listed: the run itself went well.
    case $status in
        0) echo "run: no broken shortcuts listed (exit status 0)" >&2 ;;
        1) echo "run: broken shortcuts listed (exit status 1)" >&2 ;;
        *) exit "$status" ;;
    esac
    exit 0
fi

program=build/win32/app/Veltmor.exe
if [ ! -x /usr/lib/wine/wine ]; then  # the 32-bit loader that wine32 brings
    echo "run: this Wine runs 64-bit programs only; starting the 64-bit build"
    program=build/win64/app/Veltmor.exe
fi
export WINEDEBUG=${WINEDEBUG:--all}
exec wine "$program"
