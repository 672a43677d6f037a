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
cmake --build build/win64 -j "$jobs" --target veltmor veltmor_scan veltmor_demo_tree >/dev/null
echo "built build/win32/app/Veltmor.exe (32-bit) and build/win64/app/Veltmor.exe (64-bit)"
export WINEDEBUG=${WINEDEBUG:--all}

if [ -z "${DISPLAY:-}" ]; then
    scanner=build/win32/cli/veltmor-scan.exe
    [ -x /usr/lib/wine/wine ] || scanner=build/win64/cli/veltmor-scan.exe
    log=$(mktemp "${TMPDIR:-/tmp}/veltmor-run.XXXXXX.log")
    cat >&2 <<TXT
run: no display (\$DISPLAY is not set), so the Veltmor window cannot be shown here;
  running the same scan from the command line instead: veltmor-scan $*
  (on a desktop, run this command from a terminal of that desktop for the window;
  for pictures of it:  bash scripts/screenshot.sh)
run: Wine's own messages go to $log
TXT
    # The scanner's own lines on standard error are shown; Wine's stay in the log.
    scan() {  # wine-command... : runs it, standard error to the log
        local errors status=0
        errors=$(mktemp)
        "$@" 2>"$errors" || status=$?
        grep '^veltmor-scan' "$errors" >&2
        cat "$errors" >>"$log"
        rm -f "$errors"
        return $status
    }
    wineboot -i >>"$log" 2>&1  # a new prefix says a lot while it is made

    status=0
    scan wine "$scanner" "$@" || status=$?
    case $status in
        0) echo "run: no broken shortcuts listed (exit status 0)" >&2 ;;
        1) echo "run: broken shortcuts listed (exit status 1)" >&2 ;;
        *) exit "$status" ;;
    esac

    # A new Wine prefix has an empty Start Menu: show the scan on a small one.
    if [ $# -eq 0 ] && [ "$(scan wine "$scanner" --all --format csv | wc -l)" -le 1 ]; then
        demo=$(mktemp -d "${TMPDIR:-/tmp}/veltmor-demo.XXXXXX")
        trap 'rm -rf "$demo"' EXIT
        menu="Z:$(echo "$demo" | tr / '\\')\\Start Menu"
        echo "run: your Start Menu holds no shortcut at all; here is the scan of a small demonstration" >&2
        echo "     Start Menu made in $demo/Start Menu (R: is a CD-ROM drive there):" >&2
        # The demonstration runs in the test prefix, which has the CD-ROM drive.
        bash scripts/wine-run.sh build/win64/demo/veltmor_demo_tree.exe "$menu" >>"$log" 2>&1
        for options in "" "--all"; do
            echo >&2
            echo "\$ veltmor-scan $options \"$menu\"" >&2
            scan bash scripts/wine-run.sh build/win64/cli/veltmor-scan.exe $options "$menu" || true
        done
    fi
    exit 0
fi

program=build/win32/app/Veltmor.exe
if [ ! -x /usr/lib/wine/wine ]; then  # the 32-bit loader that wine32 brings
    echo "run: this Wine runs 64-bit programs only; starting the 64-bit build"
    program=build/win64/app/Veltmor.exe
fi
exec wine "$program"
