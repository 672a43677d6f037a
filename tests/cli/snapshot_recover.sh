#!/usr/bin/env bash
# veltmor-scan --snapshot and --recover under Wine, on a tree like a real
# machine's, in one prefix: two profiles, the all-users Programs tree with
# nested folders, the Public Desktop, a user's desktop, User Pinned\TaskBar,
# .url files, Unicode names and a path over 260 characters. A snapshot; then
# the incident (every .lnk below the all-users Programs tree and the pins
# deleted) and an uninstall (a shortcut and its target gone); then the alarm,
# a dry run, the safety valve, recoveries killed midway, the recovery itself
# and tampered lists.
#   snapshot_recover.sh SCANNER.exe WINE_RUN.sh
set -u
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" != --inner ]; then
    work=$(mktemp -d "${TMPDIR:-/tmp}/veltmor-snapshot.XXXXXX") || exit 1
    trap 'rm -rf "$work"' EXIT
    # A name of its own, so that the kills below reach this scanner alone.
    cp "$1" "$work/killable-$$.exe" || exit 1
    # Named in the environment, not on a command line the kills look at.
    LC_ALL=C.UTF-8 VELTMOR_SNAPSHOT_SCANNER="$work/killable-$$.exe" bash "$2" --script "$0" --inner "$work"
    exit $?
fi
scanner=$VELTMOR_SNAPSHOT_SCANNER work=$2
failed=0
check() {  # description, condition...
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; cat "$work/err"; failed=1; fi
}
run() { timeout 300 wine "$scanner" "$@" >"$work/out" 2>"$work/err"; echo $? >"$work/status"; }
status_is() { [ "$(cat "$work/status")" = "$1" ]; }
said() { grep -q -- "$1" "$work/err" "$work/out"; }
lnk() { python3 "$here/make_lnk.py" "$@"; }

C="$WINEPREFIX/drive_c"
programs="$C/ProgramData/Microsoft/Windows/Start Menu/Programs"
root_pins="$C/users/root/AppData/Roaming/Microsoft/Internet Explorer/Quick Launch/User Pinned/TaskBar"
bob="$C/users/bob"
bob_pins="$bob/AppData/Roaming/Microsoft/Internet Explorer/Quick Launch/User Pinned/TaskBar"
D='C:\ProgramData\Veltmor\Snapshots' dir="$C/ProgramData/Veltmor/Snapshots"
long="$programs/$(printf 'L%.0s' {1..120})/$(printf 'M%.0s' {1..120})"
wine reg add 'HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-0-0-0-1001' \
    /v ProfileImagePath /d 'C:\users\bob' /f >/dev/null 2>&1
mkdir -p "$C/Apps/Old" "$programs/Zoom" "$programs/Office/Tools" "$programs/Ünïcødé 日本" "$programs/Uninstalled" \
    "$long" "$root_pins" "$bob_pins" "$bob/Desktop" "$bob/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
for app in zoom word tool old notes bob bulk; do echo "$app" >"$C/Apps/$app.exe"; done
mv "$C/Apps/old.exe" "$C/Apps/Old/old.exe"
lnk "$programs/Zoom/Zoom.lnk" 'C:\Apps\zoom.exe' "$programs/Office/Tools/Word.lnk" 'C:\Apps\word.exe' \
    "$programs/Ünïcødé 日本/Tool ☃.lnk" 'C:\Apps\tool.exe' "$long/Deep.lnk" 'C:\Apps\tool.exe' \
    "$programs/Uninstalled/Old.lnk" 'C:\Apps\Old\old.exe' "$root_pins/Word.lnk" 'C:\Apps\word.exe' \
    "$bob_pins/Zoom.lnk" 'C:\Apps\zoom.exe' "$C/users/Public/Desktop/Zoom.lnk" 'C:\Apps\zoom.exe' \
    "$C/users/root/Desktop/Notes.lnk" 'C:\Apps\notes.exe' \
    "$bob/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Bob.lnk" 'C:\Apps\bob.exe'
printf '[InternetShortcut]\r\nURL=https://intranet.example/\r\n' >"$programs/Intranet.url"
printf '[InternetShortcut]\r\nURL=https://wiki.example/\r\n' >"$C/users/root/Desktop/Wiki ☃.url"
# Enough files for a recovery to be killed in the middle of.
args=()
for i in $(seq 0 1499); do
    mkdir -p "$programs/Bulk/d$((i / 100))"
    args+=("$programs/Bulk/d$((i / 100))/s$i.lnk" "C:\\Apps\\bulk.exe")
done
lnk "${args[@]}"

places=("$C/ProgramData/Microsoft/Windows/Start Menu" "$C/users/Public/Desktop" "$C/users/root/Desktop"
        "$C/users/root/AppData/Roaming/Microsoft" "$bob")
tree_hash() { (find "${places[@]}" -type f -print0 | sort -z | xargs -0 md5sum; find "$C/ProgramData/Veltmor" -type f -print0 2>/dev/null | sort -z | xargs -0 -r md5sum) | md5sum; }
hash_of() { (find "${places[@]}" -type f \( -iname '*.lnk' -o -iname '*.url' \) -print0 | sort -z | xargs -0 md5sum); }
snap=(--location all --all-profiles --snapshot "$D")

# 1. The first snapshot keeps every file once; the second, of the same tree,
# only its list.
run "${snap[@]}"
check "the first snapshot ends well" status_is 0
hash_of >"$work/before"
files=$(wc -l <"$work/before")
contents=$(find "$dir/content" -type f | wc -l)
check "  its contents: each distinct file once ($contents for $files files)" \
    [ "$contents" -eq "$(cut -d' ' -f1 "$work/before" | sort -u | wc -l)" ]
check "  the .url files among them" bash -c "grep -c '\\.url' '$work/before' | grep -qx 2"
sleep 1
run "${snap[@]}"
check "a second snapshot of the same tree stores no file again" \
    [ "$(find "$dir/content" -type f | wc -l)" -eq "$contents" ]
second=$(ls "$dir/lists" | sort | tail -n 1)
echo "  list of the second snapshot: $(stat -c %s "$dir/lists/$second") bytes for $files files"

# 2. The incident, and an uninstall.
sleep 1
incident=$( (find "$programs" -name '*.lnk'; find "$root_pins" "$bob_pins" -name '*.lnk') | grep -v Uninstalled | sort)
find "$programs" "$root_pins" "$bob_pins" -name '*.lnk' -delete
rm "$C/Apps/Old/old.exe"
run "${snap[@]}" --format report --output 'C:\report.json' --summary
check "the next snapshot raises the alarm (exit 3)" status_is 3
count=$(echo "$incident" | wc -l)
check "  the summary line counts $count vanished" grep -q ", $count vanished since " "$work/out"
echo "$incident" >"$work/incident"
python3 - "$C/report.json" "$WINEPREFIX" "$work/incident" <<'EOF' >"$work/err" 2>&1
import json, sys
report = json.load(open(sys.argv[1], encoding='utf-8'))
prefix, incident = sys.argv[2] + '/drive_c/', set(open(sys.argv[3], encoding='utf-8').read().split('\n')[:-1])
named = {prefix + i['shortcut'][3:].replace('\\', '/') for i in report['vanished']['items']}
assert report['options']['snapshot'] is True
assert report['vanished']['count'] == len(incident), report['vanished']['count']
# The first thousand are listed; the count is the whole.
assert named <= incident and len(named) == min(1000, len(incident)), sorted(named - incident)[:5]
EOF
check "  the report names only the incident's shortcuts, not the uninstalled one" test $? -eq 0

# 3. A dry run lists exactly those and changes nothing; the safety valve
# refuses and changes nothing.
as_of=$(python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['vanished']['since'])" "$C/report.json")
recover=(--recover "$D" --as-of "$as_of")
before_tree=$(tree_hash)
run "${recover[@]}" --dry-run
check "--recover --dry-run ends well" status_is 0
check "  lists exactly the incident's shortcuts" [ "$(grep -c '^would recover: ' "$work/out")" -eq "$count" ]
check "  names the uninstalled one" grep -q 'not recovered: its target is gone too: .*Old.lnk' "$work/out"
check "  and changes nothing" [ "$(tree_hash)" = "$before_tree" ]
run "${recover[@]}" --max-moves $((count - 1))
check "--max-moves below the count refuses (exit 2)" status_is 2
check "  and changes nothing" [ "$(tree_hash)" = "$before_tree" ]

# 4. A file made at one of the paths in between; recoveries killed midway.
printf 'made by someone since' >"$programs/Zoom/Zoom.lnk"
for round in 1 2 3; do
    setsid wine "$scanner" "${recover[@]}" >/dev/null 2>&1 &
    runner=$!
    have() { find "$programs/Bulk" -name '*.lnk' 2>/dev/null | wc -l; }
    start=$(have)
    for _ in $(seq 1 300); do
        [ "$(have)" != "$start" ] || ! kill -0 "$runner" 2>/dev/null && break
        sleep 0.05
    done
    sleep "0.$((RANDOM % 10))"
    kill -9 -- "-$runner" 2>/dev/null
    for pid in $(pgrep -f "$(basename "$scanner")"); do kill -9 "$pid" 2>/dev/null; done
    wait "$runner" 2>/dev/null
    echo "  killed recovery $round with $(have) of 1500 bulk files back"
done
run "${recover[@]}"
check "the recovery after the killed ones names the file made since (exit 1)" status_is 1
check "  which stays as it is" [ "$(cat "$programs/Zoom/Zoom.lnk")" = 'made by someone since' ]
check "  and is named" said 'another file is there now.*Zoom.lnk'
hash_of | grep -v -e '/Zoom/Zoom.lnk' >"$work/after"
grep -v -e '/Zoom/Zoom.lnk' -e '/Uninstalled/Old.lnk' "$work/before" | diff - "$work/after" >"$work/err"
check "  every other shortcut back byte for byte at its exact path, the uninstalled one not" test $? -eq 0
python3 - "$dir/manifest.json" <<'EOF' >"$work/err" 2>&1
import collections, json, sys
entries = json.load(open(sys.argv[1], encoding='utf-8'))['entries']
counts = collections.Counter(e['original'] for e in entries if e['action'] == 'recover')
assert counts and max(counts.values()) == 1, counts.most_common(3)
print(len(counts))
EOF
check "  the manifest whole, each file recovered once ($(tail -n 1 "$work/err") entries)" \
    [ "$(tail -n 1 "$work/err")" -eq "$((count - 1))" ]
after_tree=$(tree_hash)
run "${recover[@]}"
check "a second recovery right after writes nothing" \
    bash -c "[ '$(tree_hash)' = '$after_tree' ] && grep -q '^0 recovered' '$work/out'"

# 5. Tampered lists, each the newest of a copy of the folder: refused (exit
# 2) before anything is written.
newest() { echo "$dir/lists/29991231T000000Z-000.json"; }
good=$(cat "$dir/lists/$second")
for case in nested huge other-drive dotdot outside; do
    rm -f "$dir/lists/2999"*
    case $case in
    nested) python3 -c "print('[' * 100000)" >"$(newest)" ;;
    huge) truncate -s 300M "$(newest)" ;;
    other-drive) echo "$good" | sed 's/"shortcut":"C:/"shortcut":"D:/' >"$(newest)" ;;
    dotdot) echo "$good" | sed 's/\\\\Zoom\\\\/\\\\..\\\\..\\\\..\\\\Windows\\\\/' >"$(newest)" ;;
    outside) echo "$good" | sed 's/"folder":"C:\\\\ProgramData\\\\Microsoft[^"]*"/"folder":"C:\\\\Windows"/' |
        sed 's/Microsoft\\\\Windows\\\\Start Menu\\\\Programs/Windows/g' >"$(newest)" ;;
    esac
    case $case in other-drive|dotdot|outside) sed -i 's/"time": "[^"]*"/"time": "2999-12-31T00:00:00Z"/' "$(newest)" ;; esac
    before_tree=$(tree_hash)
    for action in recover snapshot; do
        if [ $action = recover ]; then run --recover "$D"; else run "${snap[@]}"; fi
        check "a tampered list ($case) is refused by --$action (exit 2)" status_is 2
        check "  with a message" said 'snapshot list\|none of this machine'
        check "  before anything is written" [ "$(tree_hash)" = "$before_tree" ]
        [ $case = outside ] && break  # a list of other places is a snapshot's to compare, not to refuse
    done
done

[ $failed -eq 0 ] && echo "snapshot_recover: passed" || echo "snapshot_recover: FAILED"
exit $failed
