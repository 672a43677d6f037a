#!/usr/bin/env bash
# Pictures of the real program for the README: a throw-away Wine prefix whose
# Start Menu holds a few working and broken shortcuts, Veltmor started in
# Wine's virtual desktop under Xvfb (so the window has its frame), Scan
# pressed, the window photographed.
#   bash scripts/screenshot.sh [OUTPUT_DIR]     (default: docs/)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs}
mkdir -p "$out"
bash scripts/setup.sh

cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build build/win64 -j "$(nproc)" --target veltmor veltmor_shot >/dev/null

to_windows() { echo "Z:$1" | tr / '\\'; }
program=$(to_windows "$PWD/build/win64/app/Veltmor.exe")
driver=$PWD/build/win64/tests/gui/veltmor_shot.exe

shoot() {  # name, extra driver argument
    local name=$1 mode=${2:-}
    local work
    work=$(mktemp -d)
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
        work=$1; program=$2; driver=$3; mode=$4; png=$5
        scripts/wine-run.sh explorer /desktop=Veltmor,800x480 "$driver" "$program" \
            "Z:${work//\//\\}\\ready" "Z:${work//\//\\}\\done" $mode &
        for i in $(seq 1 600); do [ -s "$work/ready" ] && break; sleep 0.1; done
        [ -s "$work/ready" ] || { echo "screenshot: the program did not come up" >&2; exit 1; }
        read -r x y w h < "$work/ready"
        import -window root "$work/desktop.png"
        convert "$work/desktop.png" -crop "${w}x${h}+${x}+${y}" +repage "$png"
        touch "$work/done"
        wait
    ' _ "$work" "$program" "$driver" "$mode" "$out/$name.png"
    rm -rf "$work"
    echo "wrote $out/$name.png"
}

shoot veltmor-broken
shoot veltmor-all all
