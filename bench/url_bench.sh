#!/usr/bin/env bash
# What .url files cost the scanner, per file: N shortcuts (targets present,
# folders of 100), once all .lnk and once with every tenth a .url naming its
# target as a file: address. Both trees in one Wine prefix, scanned in turn
# RUNS times; prints the medians (wall, user + system CPU) and their ratio.
#   url_bench.sh SCANNER.exe WINE_RUN.sh [N] [RUNS]
set -u
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" != --inner ]; then
    LC_ALL=C.UTF-8 exec bash "$2" --script "$0" --inner "$(realpath "$1")" "${3:-10000}" "${4:-7}"
fi
scanner=$2 n=$3 runs=$4
C="$WINEPREFIX/drive_c"
mkdir -p "$C/apps"
python3 - "$C" "$n" <<'PY'
import os, sys
c, n = sys.argv[1], int(sys.argv[2])
for i in range(n):
    open(f'{c}/apps/a{i}.exe', 'w').write('x')
    for tree in ('lnk', 'mixed'):
        os.makedirs(f'{c}/{tree}/d{i // 100}', exist_ok=True)
    if i % 10 == 9:
        with open(f'{c}/mixed/d{i // 100}/s{i}.url', 'w', newline='\r\n') as f:
            f.write(f'[InternetShortcut]\nURL=file:///C:/apps/a{i}.exe\n')
PY
args=()
for i in $(seq 0 $((n - 1))); do
    args+=("$C/lnk/d$((i / 100))/s$i.lnk" "C:\\apps\\a$i.exe")
    [ $((i % 10)) -eq 9 ] || args+=("$C/mixed/d$((i / 100))/s$i.lnk" "C:\\apps\\a$i.exe")
done
python3 "$here/../tests/cli/make_lnk.py" "${args[@]}"
wineserver -p 60 2>/dev/null; wine "$scanner" --version >/dev/null  # one server for every run
: >"$C/lnk.times"; : >"$C/mixed.times"
# In turn, the order swapped each round: neither tree always runs first.
for round in $(seq 1 "$runs"); do
    order="lnk mixed"
    [ $((round % 2)) -eq 0 ] && order="mixed lnk"
    for tree in $order; do
        /usr/bin/time -a -o "$C/$tree.times" -f '%e %U %S' wine "$scanner" --all --format csv "C:\\$tree" >/dev/null 2>&1
    done
done
python3 - "$C" "$n" "$runs" <<'PY'
import statistics, sys
c, n, runs = sys.argv[1], int(sys.argv[2]), sys.argv[3]
def medians(tree):
    rows = [list(map(float, l.split())) for l in open(f'{c}/{tree}.times') if l[:1].isdigit()]
    return statistics.median(r[0] for r in rows), statistics.median(r[1] + r[2] for r in rows)
(lw, lc), (mw, mc) = medians('lnk'), medians('mixed')
print(f"{n} files, medians of {runs}: .lnk only {lw * 1e6 / n:.0f} us/file wall, {lc * 1e6 / n:.0f} CPU; "
      f"a tenth .url {mw * 1e6 / n:.0f} wall, {mc * 1e6 / n:.0f} CPU; ratio {mw / lw:.3f} wall, {mc / lc:.3f} CPU")
PY
wineserver -k 2>/dev/null  # the persistent server kept for the runs
