#!/usr/bin/env bash
# The quarantine and the restore per file, whole runs: COUNT broken
# shortcuts (100 to a folder) quarantined into C:\Q, then restored, ROUNDS
# times, in one throw-away Wine prefix. With two scanners the two take turns
# within each round (the order swapped each round), so a drift of the
# machine's speed reaches both alike.
#   bench/move_bench.sh COUNT ROUNDS SCANNER.exe [OTHER.exe]
# Prints per round and scanner: ms per file for each, wall and CPU (the wine
# process and its children, /usr/bin/time); then the medians.
set -euo pipefail
if [ "${1:-}" != --inside ]; then
    [ $# -ge 3 ] || { echo "usage: move_bench.sh COUNT ROUNDS SCANNER.exe [OTHER.exe]" >&2; exit 2; }
    count=$1 rounds=$2; shift 2
    exes=(); for e in "$@"; do exes+=("$(realpath "$e")"); done
    exec bash "$(dirname "$0")/../scripts/wine-run.sh" --script "$(realpath "$0")" --inside "$count" "$rounds" "${exes[@]}"
fi
shift
count=$1 rounds=$2; shift 2
exes=("$@")
here=$(dirname "$0")
c=$WINEPREFIX/drive_c
make_tree() {
    rm -rf "$c/menu"
    python3 - "$c" "$count" "$here/../tests/cli" <<'PY'
import os, sys
sys.path.insert(0, sys.argv[3])
from make_lnk import link
c, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = c + '/menu/Vendor%04d' % (i // 100)
    if i % 100 == 0:
        os.makedirs(folder, exist_ok=True)
    link('%s/Tool %d.lnk' % (folder, i), 'C:\\gone\\tool%d.exe' % i)
PY
}
wineserver -p 600
timed() {  # prints "wall cpu" of one run
    /usr/bin/time -f '%e %U %S' -o "$c/time.txt" wine "$@" > /dev/null 2> "$c/err.txt" || true
    tail -n 1 "$c/time.txt" | awk '{printf "%s %.2f", $1, $2 + $3}'
}
declare -A q r
for round in $(seq "$rounds"); do
    order=("${exes[@]}")
    [ $((round % 2)) -eq 0 ] && [ ${#exes[@]} -eq 2 ] && order=("${exes[1]}" "${exes[0]}")
    for exe in "${order[@]}"; do
        make_tree
        rm -rf "$c/Q"
        qt=$(timed "$exe" --quarantine 'C:\Q' --max-moves "$count" 'C:\menu')
        left=$(find "$c/menu" -name '*.lnk' | wc -l)
        rt=$(timed "$exe" --restore 'C:\Q')
        back=$(find "$c/menu" -name '*.lnk' | wc -l)
        read -r qw qc <<<"$qt"; read -r rw rc <<<"$rt"
        echo "round $round $exe: quarantine $qw s wall $qc s cpu ($((count - left)) moved), restore $rw s wall $rc s cpu ($back back)"
        q[$exe]+="$qw $qc;" r[$exe]+="$rw $rc;"
    done
done
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
for exe in "${exes[@]}"; do
    for kind in quarantine restore; do
        [ $kind = quarantine ] && list=${q[$exe]} || list=${r[$exe]}
        w=$(tr ';' '\n' <<<"$list" | awk 'NF {print $1}' | median)
        u=$(tr ';' '\n' <<<"$list" | awk 'NF {print $2}' | median)
        printf '%s %s: %d files, median of %d: %.3f ms wall, %.3f ms cpu per file\n' "$exe" "$kind" "$count" "$rounds" \
            "$(awk "BEGIN {print $w * 1000 / $count}")" "$(awk "BEGIN {print $u * 1000 / $count}")"
    done
done
wineserver -k
