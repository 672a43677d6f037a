#!/usr/bin/env bash
# What --suggest costs over the plain scan: 2,000 shortcuts as Windows saves
# them (the target's size and write time in the header), every tenth one's
# target missing. Of those, a third moved to the other program files folder,
# a third to a new version's folder, a third gone for good. Both runs in one
# throw-away Wine prefix, in turn, RUNS times each; prints the medians.
#   bench/suggest_bench.sh SCANNER.exe [RUNS]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: suggest_bench.sh SCANNER.exe [RUNS]" >&2; exit 2; }
if [ "${1:-}" != --inside ]; then
    exec bash "$(dirname "$0")/../scripts/wine-run.sh" --script "$0" --inside "$(realpath "$1")" "${2:-5}"
fi
scanner=$2 runs=$3
c=$WINEPREFIX/drive_c
python3 - "$c" <<'PY'
import os, struct, sys
c = sys.argv[1]
def write(path, data, mtime):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, 'wb').write(data)
    os.utime(path, (mtime, mtime))
def link(path, target, size, mtime):
    ft = int(mtime * 10**7) + 116444736000000000
    header = struct.pack('<I16sIIQQQIiIHHII', 0x4C, bytes.fromhex('0114020000000000c000000000000046'), 0x02, 0x20,
                         ft, ft, ft, size, 0, 1, 0, 0, 0, 0)
    volume = struct.pack('<IIII', 0x11, 3, 0x1234ABCD, 0x10) + b'\0'
    local = target.encode('ascii') + b'\0'
    info = struct.pack('<IIIIIII', 0x1C + len(volume) + len(local) + 1, 0x1C, 1, 0x1C, 0x1C + len(volume), 0,
                       0x1C + len(volume) + len(local)) + volume + local + b'\0'
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, 'wb').write(header + info + b'\0\0\0\0')
pf, pf86 = c + '/Program Files', c + '/Program Files (x86)'
for i in range(2000):
    # Program names without digits: a digit in a name reads as a version.
    app = 'App ' + chr(65 + i // 260) + chr(65 + i // 10 % 26)
    mtime, size = 1790000000 + i, 1000 + i
    menu = c + '/menu/Vendor%02d/%s %d.lnk' % (i // 100, app, i)
    exe = 'tool%d.exe' % i
    if i % 10:
        write('%s/%s/%s' % (pf, app, exe), b'P' * size, mtime)
        link(menu, 'C:\\Program Files\\%s\\%s' % (app, exe), size, mtime)
    elif i % 30 == 0:
        write('%s/%s/%s' % (pf86, app, exe), b'P' * size, mtime)
        link(menu, 'C:\\Program Files\\%s\\%s' % (app, exe), size, mtime)
    elif i % 30 == 10:
        write('%s/%s 2.0/%s' % (pf, app, exe), b'P' * size, mtime)
        link(menu, 'C:\\Program Files\\%s 1.0\\%s' % (app, exe), size, mtime)
    else:
        link(menu, 'C:\\Program Files\\Gone%d\\%s' % (i, exe), size, mtime)
PY
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
plain=() suggest=()
for _ in $(seq "$runs"); do
    for kind in plain suggest; do
        args=(--format csv 'C:\menu')
        [ $kind = suggest ] && args=(--suggest "${args[@]}")
        start=$(date +%s%N)
        wine "$scanner" "${args[@]}" > "$c/$kind.csv" || true
        ms=$(( ($(date +%s%N) - start) / 1000000 ))
        [ $kind = plain ] && plain+=("$ms") || suggest+=("$ms")
    done
done
p=$(printf '%s\n' "${plain[@]}" | median) s=$(printf '%s\n' "${suggest[@]}" | median)
rows=$(($(wc -l < "$c/plain.csv") - 1)) exact=$(grep -c ',exact,' "$c/suggest.csv" || true)
echo "2,000 shortcuts, $rows missing, $exact exact candidates: plain $p ms, --suggest $s ms (medians of $runs): $(awk "BEGIN {printf \"%.2f\", $s / $p}")x"
