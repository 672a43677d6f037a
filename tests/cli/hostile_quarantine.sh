#!/usr/bin/env bash
# veltmor-scan --quarantine and --restore against a machine others can write
# to, under Wine: links in the quarantine folder and in the scanned tree
# (Unix symbolic links inside the prefix are links to Windows programs), a
# tampered manifest, the safety valve, a quarantine folder inside the scanned
# one, and runs killed at random moments. Each case ends with no file written,
# moved or lost outside the allowed places, the documented exit status and a
# message naming the problem.
#   hostile_quarantine.sh SCANNER.exe WINE_RUN.sh
set -u
wine_run=$2
here=$(dirname "$0")
work=$(mktemp -d "${TMPDIR:-/tmp}/veltmor-hostile.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
# A name of its own, so that the kills below reach this scanner alone.
scanner="$work/killable-$$.exe"
cp "$1" "$scanner" || exit 1
failed=0
windows() { echo "Z:${1//\//\\}"; }
scan() { timeout 300 bash "$wine_run" "$scanner" "$@" >"$work/out" 2>"$work/err"; echo $? >"$work/status"; }
check() {  # description, condition...
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; cat "$work/err"; failed=1; fi
}
status_is() { [ "$(cat "$work/status")" = "$1" ]; }
said() { grep -q -- "$1" "$work/err"; }
fresh() {  # a tree with two broken shortcuts and a working one, an empty DIR
    rm -rf "$work/t" "$work/q" "$work/elsewhere"
    mkdir -p "$work/t/sub" "$work/elsewhere" "$work/q"
    echo x >"$work/t/app.exe"
    python3 "$here/make_lnk.py" "$work/t/a.lnk" "$(windows "$work/t/gone-a.exe")" \
        "$work/t/sub/b.lnk" "$(windows "$work/t/gone-b.exe")" \
        "$work/t/ok.lnk" "$(windows "$work/t/app.exe")"
}
T=$(windows "$work/t") Q=$(windows "$work/q")
# Where the quarantine puts Z:\...\t's shortcuts.
layout="$work/q/Z${work}/t"

# 1. A folder link inside DIR along a shortcut's place: nothing goes through it.
fresh
mkdir -p "$(dirname "$layout")" && ln -s "$work/elsewhere" "$layout"
scan --quarantine "$Q" "$T"
check "a folder link inside the quarantine folder is not followed" \
    status_is 1
check "  the shortcuts stay, nothing lands elsewhere" \
    test -f "$work/t/a.lnk" -a -f "$work/t/sub/b.lnk" -a -z "$(ls -A "$work/elsewhere")"
check "  and it is named" said "link lies on its way"

# 2. The scan leaves its folder through a folder link: listed, never moved.
fresh
mkdir -p "$work/outside" && python3 "$here/make_lnk.py" "$work/outside/c.lnk" "$(windows "$work/outside/gone-c.exe")"
ln -s "$work/outside" "$work/t/ext"
scan --quarantine "$Q" "$T"
check "a shortcut reached through a folder link is listed but not moved" \
    bash -c "grep -q 'c.lnk' '$work/out' && test -f '$work/outside/c.lnk' && ! test -e '$work/t/a.lnk'"
check "  and it is named" said "link lies on its way"
rm -rf "$work/outside"

# 3. A tampered manifest, nested thousands deep: refused before anything moves.
for manifest in "$(python3 -c 'print("{\"kind\":\"veltmor-scan quarantine\",\"entries\":" + "[" * 100000)')" \
                '{"kind":"veltmor-scan quarantine","entries":[{"action":["x"]}]}'; do
    fresh
    printf '%s' "$manifest" >"$work/q/manifest.json"
    for run in "--quarantine $Q $T" "--restore $Q"; do
        scan $run
        check "a tampered manifest is refused (${run%% *})" status_is 2
        check "  with a message" said "is not a quarantine manifest"
        check "  and nothing moved" test -f "$work/t/a.lnk"
    done
done

# 3b. A journal or a manifest of 600 MiB (sparse: nothing on the disk) is
# refused by its size before a byte of it is read.
for name in journal.jsonl manifest.json; do
    fresh
    truncate -s 600M "$work/q/$name"
    /usr/bin/time -f %M -o "$work/rss" bash "$wine_run" "$scanner" --restore "$Q" >"$work/out" 2>"$work/err"
    echo $? >"$work/status"
    check "a 600 MiB $name is refused" status_is 2
    check "  by its size, with a message" said "larger than a quarantine"
    rss=$(tail -n 1 "$work/rss")
    check "  without reading it ($rss KiB at most in memory)" [ "$rss" -lt 300000 ]
done

# 3c. A killed run's temporary file left in the layout is removed by the next
# run, which then ends well.
fresh
mkdir -p "$layout" && echo partial >"$layout/a.lnk.1f4-2b3c4d5e-3-0.tmp"
scan --restore "$Q"
check "a killed run's temporary file does not fail the next restore" status_is 0
check "  and it is gone" test ! -e "$layout/a.lnk.1f4-2b3c4d5e-3-0.tmp"

# 4. The safety valve and the folders that may not be used.
fresh
scan --quarantine "$Q" --max-moves 1 "$T"
check "more moves than --max-moves: none" bash -c "status_is() { [ \$(cat '$work/status') = 2 ]; }; status_is && test -f '$work/t/a.lnk' -a -f '$work/t/sub/b.lnk'"
check "  and it is said" said "more than --max-moves 1"
scan --quarantine "$T\\q2" "$T"
check "a quarantine folder inside the scanned one is refused, unwritten" \
    bash -c "[ \$(cat '$work/status') = 2 ] && ! test -e '$work/t/q2'"
scan --quarantine "$Q" --quarantine "$Q" "$T"
check "--quarantine given twice is refused" status_is 2

# 5. A shortcut put at the quarantine folder's top is named by the restore.
fresh
python3 "$here/make_lnk.py" "$work/q/stray.lnk" "C:\\x.exe"
scan --restore "$Q"
check "a shortcut at the quarantine folder's top is named and stays" \
    bash -c "grep -q 'stray.lnk' '$work/err' && test -f '$work/q/stray.lnk'"

# 6. Runs killed at random moments: every file is in its place or in DIR, and
# a last restore gives every one back byte for byte.
rm -rf "$work/t" "$work/q"; mkdir -p "$work/q"
args=()
for i in $(seq 0 2999); do
    mkdir -p "$work/t/d$((i / 100))"
    args+=("$work/t/d$((i / 100))/s$i.lnk" "$(windows "$work/t/gone$i.exe")")
done
python3 "$here/make_lnk.py" "${args[@]}"
(cd "$work/t" && find . -type f | sort | xargs md5sum) >"$work/before"
for round in $(seq 1 20); do
    action=(--quarantine "$Q" "$T"); [ $((round % 2)) -eq 0 ] && action=(--restore "$Q")
    # A group of its own: the kill takes the scanner and all Wine started
    # for it, as a power switch would, whatever it was doing.
    # A killed run leaves its prefix (700 MB) behind: each goes where it is
    # removed once the run is dead.
    mkdir -p "$work/prefixes"
    VELTMOR_PREFIX_PARENT="$work/prefixes" setsid bash "$wine_run" "$scanner" "${action[@]}" >/dev/null 2>&1 &
    runner=$!
    # Killed while it moves: once the first file has moved, after a random
    # part of a second.
    count() { find "$work/q" -name '*.lnk' 2>/dev/null | wc -l; }
    before=$(count)
    for _ in $(seq 1 600); do
        [ "$(count)" != "$before" ] || ! kill -0 "$runner" 2>/dev/null && break
        sleep 0.1
    done
    sleep "0.$((RANDOM % 10))$((RANDOM % 10))"
    kill -9 -- "-$runner" 2>/dev/null
    for pid in $(pgrep -f "killable-$$.exe"); do kill -9 "$pid" 2>/dev/null; done
    wait "$runner" 2>/dev/null
    rm -rf "$work/prefixes"
    lost=$( (cd "$work/t" && find . -name '*.lnk' | sed 's|^\./||'; \
             cd "$work/q/Z$work/t" 2>/dev/null && find . -name '*.lnk' | sed 's|^\./||') | sort | uniq | wc -l)
    held=$(cd "$work/q/Z$work/t" 2>/dev/null && find . -name '*.lnk' | wc -l)
    check "killed run $round (${action[0]}, ${held:-0} in the quarantine folder): all 3000 in one place or the other" \
        [ "$lost" -eq 3000 ]
done
scan --restore "$Q"
check "a restore after the killed runs ends well" status_is 0
check "  every shortcut is back byte for byte" \
    bash -c "cd '$work/t' && find . -type f | sort | xargs md5sum | cmp -s - '$work/before'"
check "  and the manifest is whole JSON" python3 -c "import json; json.load(open('$work/q/manifest.json'))"

[ $failed -eq 0 ] && echo "hostile_quarantine: passed" || echo "hostile_quarantine: FAILED"
exit $failed
