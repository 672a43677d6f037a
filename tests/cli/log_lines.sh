#!/usr/bin/env bash
# veltmor-scan --log under Wine, as a log collector reads it: a file a day,
# appended and never rewritten, every line a JSON object on its own (UTF-8,
# no byte order mark, LF), the quarantine's and the restore's moves as
# events of their own, and the expired day files gone.
#   log_lines.sh SCANNER.exe WINE_RUN.sh
set -u
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" != --inside ]; then
    exec bash "$2" --script "$0" --inside "$1"
fi
scanner=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/veltmor-log.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
windows() { echo "Z:${1//\//\\}"; }
T=$(windows "$work/t") Q=$(windows "$work/q") L=$(windows "$work/logs")
mkdir -p "$work/t/sub" && echo x >"$work/t/app.exe"
python3 "$here/make_lnk.py" "$work/t/gone.lnk" "$(windows "$work/t/gone.exe")" \
    "$work/t/sub/caf$(printf '\xc3\xa9').lnk" "$(windows "$work/t/also-gone.exe")" \
    "$work/t/works.lnk" "$(windows "$work/t/app.exe")"
today=$(date -u +%Y%m%d) yesterday=$(date -u -d yesterday +%Y%m%d)

# Yesterday's run: its file, renamed as a collector would find it.
wine "$scanner" --all --log "$L" "$T" >/dev/null
mv "$work/logs/veltmor-$today.jsonl" "$work/logs/veltmor-$yesterday.jsonl"
touch "$work/logs/veltmor-20000101.jsonl" "$work/logs/notes.txt"
wine "$scanner" --all --log "$L" "$T" >/dev/null
cp "$work/logs/veltmor-$today.jsonl" "$work/first"
wine "$scanner" --quarantine "$Q" --log "$L" "$T" >/dev/null 2>&1
wine "$scanner" --restore "$Q" --log "$L" >/dev/null

python3 - "$work" "$today" "$yesterday" <<'PY'
import json, os, sys
work, today, yesterday = sys.argv[1:4]
logs = os.path.join(work, 'logs')
failed = []
def check(what, ok):
    print(('ok: ' if ok else 'FAILED: ') + what)
    if not ok: failed.append(what)
names = sorted(os.listdir(logs))
check('a file a day, the expired one gone, a foreign one kept (%s)' % names,
      names == sorted(['notes.txt', 'veltmor-%s.jsonl' % yesterday, 'veltmor-%s.jsonl' % today]))
raw = open(os.path.join(logs, 'veltmor-%s.jsonl' % today), 'rb').read()
first = open(os.path.join(work, 'first'), 'rb').read()
check('appended, never rewritten: the first run\'s lines stand first, unchanged', raw.startswith(first) and len(raw) > len(first))
check('no byte order mark, LF only, ends with a line end',
      not raw.startswith(b'\xef\xbb\xbf') and b'\r' not in raw and raw.endswith(b'\n'))
lines = [json.loads(line) for line in raw.decode('utf-8').split('\n') if line]
fields = all(l['host']['name'] and l['user']['name'] and l['@timestamp'] and l['event']['kind'] == 'state'
             and 'path' in l['file'] and l['veltmor']['schema'] == 1 for l in lines)
check('every line parses alone with the mapped fields (%d lines)' % len(lines), fields)
actions = [l['event']['action'] for l in lines]
moved = [l for l in lines if l['event']['action'] in ('quarantine', 'restore')]
check('the moves are events of their own: 2 quarantined, 2 restored',
      actions.count('quarantine') == 2 and actions.count('restore') == 2
      and all(l['event']['outcome'] == 'success' for l in moved))
check('a name outside ASCII comes through as UTF-8',
      any(l['file']['path'].endswith('caf\u00e9.lnk') for l in lines))
sys.exit(1 if failed else 0)
PY
status=$?
# An expired file goes once --log-keep says so; ours alone.
wine "$scanner" --log "$L" --log-keep 1 "$T" >/dev/null
left=$(ls "$work/logs" | tr '\n' ' ')
if [ "$left" = "notes.txt veltmor-$today.jsonl " ]; then echo "ok: --log-keep 1 leaves today's file and the foreign one"
else echo "FAILED: --log-keep 1 left: $left"; status=1; fi
[ $status -eq 0 ] && echo "log_lines: passed" || echo "log_lines: FAILED"
exit $status
