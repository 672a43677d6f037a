#!/usr/bin/env bash
# Times veltmor-scan --snapshot and --recover under Wine, whole runs, in one
# prefix, each figure the median of RUNS runs (wall, then user + system CPU):
#   scan        a plain scan of N shortcuts (every target present)
#   snapshot-1  --snapshot into an empty folder: every file's bytes kept
#   snapshot-n  --snapshot of the same tree again: only a list written
#   restore     --restore of 3,000 quarantined shortcuts, per file
#   recover     --recover of 3,000 deleted shortcuts, per file
# and the list's bytes per shortcut.
#   snapshot_bench.sh SCANNER.exe WINE_RUN.sh [N] [RUNS]
set -u
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" != --inner ]; then
    LC_ALL=C.UTF-8 exec bash "$2" --script "$0" --inner "$1" "${3:-10000}" "${4:-5}"
fi
scanner=$2 n=$3 runs=$4
C="$WINEPREFIX/drive_c"
make() {  # folder count target-prefix: each shortcut of its own bytes
    local args=() i
    for i in $(seq 0 $(($2 - 1))); do
        mkdir -p "$1/d$((i / 100))"
        args+=("$1/d$((i / 100))/s$i.lnk" "$3$i.exe")
    done
    python3 "$here/../tests/cli/make_lnk.py" "${args[@]}"
}
mkdir -p "$C/apps"
python3 -c "import sys; [open(f'{sys.argv[1]}/a{i}.exe', 'w').write('x') for i in range(int(sys.argv[2]))]" "$C/apps" "$n"
make "$C/tree" "$n" 'C:\apps\a'
make "$C/moves" 3000 'C:\gone\g'
make "$C/back" 3000 'C:\apps\a'
wineserver -p 60 2>/dev/null; wine "$scanner" --version >/dev/null  # one server for every run

# One timed run: the median of each figure is taken over the runs.
timed() {  # name setup-command scanner-arguments...
    local name=$1 setup=$2; shift 2
    : >"$C/times"
    for _ in $(seq 1 "$runs"); do
        eval "$setup"
        /usr/bin/time -a -o "$C/times" -f '%e %U %S' wine "$scanner" "$@" >/dev/null 2>&1
    done
    python3 - "$name" "$C/times" "${per:-1}" <<'EOF'
import statistics, sys
rows = [list(map(float, l.split())) for l in open(sys.argv[2]) if l[:1].isdigit()]
per = float(sys.argv[3])
wall = statistics.median(r[0] for r in rows) / per
cpu = statistics.median(r[1] + r[2] for r in rows) / per
unit, scale = ('ms', 1e3) if per == 1 else ('us/file', 1e6)
print(f"{sys.argv[1]:12} wall {wall * scale:10.1f} {unit}   cpu {cpu * scale:10.1f} {unit}")
EOF
}
echo "load $(cut -d' ' -f1-3 /proc/loadavg), $n shortcuts, $runs runs each"
timed scan : --format csv 'C:\tree'
timed snapshot-1 'rm -rf "$C/s1"' --format csv --snapshot 'C:\s1' 'C:\tree'
wine "$scanner" --format csv --snapshot 'C:\sn' 'C:\tree' >/dev/null 2>&1
timed snapshot-n : --format csv --snapshot 'C:\sn' --keep 3 'C:\tree'
list=$(ls -S "$C/sn/lists" | head -n 1)
echo "list         $(($(stat -c %s "$C/sn/lists/$list") / n)) bytes per shortcut; contents $(du -sk "$C/sn/content" | cut -f1) KiB for $n shortcuts"
per=3000 timed restore 'rm -rf "$C/q"; wine "$scanner" --quarantine "C:\\q" "C:\\moves" >/dev/null 2>&1' --restore 'C:\q'
wine "$scanner" --format csv --snapshot 'C:\sb' 'C:\back' >/dev/null 2>&1
per=3000 timed recover 'find "$C/back" -name "*.lnk" -delete; rm -f "$C/sb/manifest.json"' --recover 'C:\sb' 'C:\back'
echo "load $(cut -d' ' -f1-3 /proc/loadavg)"
