#!/usr/bin/env bash
# Two scanner builds against each other on one tree: COUNT ASCII shortcuts
# (every tenth target missing) in one throw-away Wine prefix, the two run in
# turn with the same arguments (A B, then B A the next round), RUNS rounds.
# Prints each run's wall and CPU (the wine process and its children, from
# /usr/bin/time) and the medians of the per-pair ratios A/B.
#   bench/scanner_pair_bench.sh A.exe B.exe [RUNS] [COUNT] [-- SCANNER ARGS...]
#   (default arguments: --jobs 1 --format csv C:\menu)
set -euo pipefail
if [ "${1:-}" != --inside ]; then
    [ $# -ge 2 ] || { echo "usage: scanner_pair_bench.sh A.exe B.exe [RUNS] [COUNT] [-- ARGS...]" >&2; exit 2; }
    a=$(realpath "$1") b=$(realpath "$2"); shift 2
    runs=${1:-9}; [ $# -gt 0 ] && shift
    count=${1:-2000}; [ $# -gt 0 ] && shift
    [ "${1:-}" = -- ] && shift
    exec bash "$(dirname "$0")/../scripts/wine-run.sh" --script "$(realpath "$0")" --inside "$a" "$b" "$runs" "$count" "$@"
fi
shift
a=$1 b=$2 runs=$3 count=$4; shift 4
args=("$@")
[ ${#args[@]} -gt 0 ] || args=(--jobs 1 --format csv 'C:\menu')
c=$WINEPREFIX/drive_c
python3 - "$c" "$count" "$(dirname "$0")/../tests/cli" <<'PY'
import os, sys
sys.path.insert(0, sys.argv[3])
from make_lnk import link
c, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = c + '/tools/T%03d' % (i // 50)
    os.makedirs(folder, exist_ok=True)
    os.makedirs(c + '/menu/Vendor%02d' % (i // 100), exist_ok=True)
    if i % 10:
        open('%s/tool%d.exe' % (folder, i), 'wb').write(b'MZ')
    link(c + '/menu/Vendor%02d/Tool %d.lnk' % (i // 100, i), 'C:\\tools\\T%03d\\tool%d.exe' % (i // 50, i))
PY
wineserver -p 600  # one server for every run, as on a machine where one runs already
wine "$a" "${args[@]}" > /dev/null || true  # warm-up for both
time_run() {  # exe: prints "wall cpu"
    /usr/bin/time -f '%e %U %S' -o "$c/time.txt" wine "$1" "${args[@]}" > "$c/out.txt" || true
    tail -n 1 "$c/time.txt" | awk '{printf "%s %.2f\n", $1, $2 + $3}'
}
ratios_wall=() ratios_cpu=()
for round in $(seq "$runs"); do
    if [ $((round % 2)) -eq 1 ]; then ra=$(time_run "$a"); rb=$(time_run "$b")
    else rb=$(time_run "$b"); ra=$(time_run "$a"); fi
    read -r wa ca <<<"$ra"; read -r wb cb <<<"$rb"
    echo "round $round: A $wa s wall $ca s cpu   B $wb s wall $cb s cpu"
    ratios_wall+=("$(awk "BEGIN {print $wa / $wb}")") ratios_cpu+=("$(awk "BEGIN {print $ca / $cb}")")
done
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
rw=$(printf '%s\n' "${ratios_wall[@]}" | median) rc=$(printf '%s\n' "${ratios_cpu[@]}" | median)
echo "$count shortcuts, ${args[*]}: A/B median of $runs pairs: $(printf '%.3f' "$rw") wall, $(printf '%.3f' "$rc") cpu"
wineserver -k
