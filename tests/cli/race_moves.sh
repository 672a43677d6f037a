#!/usr/bin/env bash
# A user racing veltmor-scan's moves under Wine: beside each run a loop swaps
# folders of the user's own tree for links to elsewhere as soon as the first
# file arrives. Over 400-file runs of --quarantine, --restore, --repair and
# the restore of repaired shortcuts (VELTMOR_RACE_RUNS each, default 20): no
# file leaves the allowed places, nothing behind a link is taken, written or
# made, every file that stayed is named, and a last clean --restore gives
# every file back byte for byte.
#   race_moves.sh SCANNER.exe WINE_RUN.sh
set -u
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" != --inside ]; then
    # One prefix for every run: the candidates live in its Program Files.
    exec bash "$2" --script "$0" --inside "$1"
fi
scanner=$2
runs=${VELTMOR_RACE_RUNS:-20}
work=$(mktemp -d "${TMPDIR:-/tmp}/veltmor-race.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
failed=0
windows() { echo "Z:${1//\//\\}"; }
check() {  # description, condition...
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failed=1; fi
}
hashes() { (cd "$1" 2>/dev/null && find . -type f | sort | xargs -r md5sum); }
folders() { (cd "$1" 2>/dev/null && find . -type d | sort); }
T=$(windows "$work/t") Q=$(windows "$work/q")
# The folder being worked through when the first file arrives, and those after it.
swapped=(d0 d1 d2 d3)

# The candidates of --repair: a program's new version folder, where only
# administrators write; each file of the size and write time its shortcut
# recorded, so that the evidence is exact.
pf="$WINEPREFIX/drive_c/Program Files"
size=4321 stamp=134065394510000000
mkdir -p "$pf/Tool 4.2"
for i in $(seq 0 399); do
    head -c $size /dev/zero >"$pf/Tool 4.2/tool$i.exe"
    touch -d @$(( (stamp - 116444736000000000) / 10000000 )) "$pf/Tool 4.2/tool$i.exe"
done

tree() {  # kind: "gone" (targets missing) or "tool" (targets moved to Tool 4.2)
    rm -rf "$work/t" "$work/q"
    mkdir -p "$work/q"
    local args=()
    for i in $(seq 0 399); do
        local d="$work/t/d$((i / 100))"
        mkdir -p "$d"
        if [ "$1" = tool ]; then args+=("$d/s$i.lnk" "C:\\Program Files\\Tool 4.1\\tool$i.exe")
        else args+=("$d/s$i.lnk" "$(windows "$work/t/gone$i.exe")"); fi
    done
    python3 "$here/make_lnk.py" --evidence $size $stamp "${args[@]}"
    hashes "$work/t" >"$work/before"
}
# Elsewhere: shortcuts of the same names but other bytes; what a link makes
# the mover reach must stay exactly as it was.
outside() {  # "empty", "gone", "tool" (as repairable as the tree's) or "repaired" (copies of repaired files)
    rm -rf "$work/outside"; mkdir -p "$work/outside"
    if [ "$1" = repaired ]; then
        cp "$work/t/d0/"*.lnk "$work/t/d1/"*.lnk "$work/outside/"
    elif [ "$1" != empty ]; then
        local args=()
        for i in $(seq 0 199); do
            if [ "$1" = tool ]; then args+=("$work/outside/s$i.lnk" "C:\\Program Files\\Tool 4.1\\tool$i.exe")
            else args+=("$work/outside/s$i.lnk" "$(windows "$work/outside/gone$i.exe")"); fi
        done
        python3 "$here/make_lnk.py" --evidence $size $stamp "${args[@]}"
    fi
    hashes "$work/outside" >"$work/outside.hashes"
    folders "$work/outside" >"$work/outside.folders"
}
count() { find "$1" -name '*.lnk' 2>/dev/null | wc -l; }
# Under Wine the last run's lock on the quarantine folder goes with its
# handles, which the Wine server closes a moment after the process is gone: a
# run started at once can find the folder still in use, and says so.
settled() {
    local tries=0
    while [ -e "$work/q/quarantine.lock" ] && [ $tries -lt 1000 ]; do sleep 0.01; tries=$((tries + 1)); done
}
# Runs the scanner with the swapper beside it: once the count of shortcuts
# below WATCH changes, each swapped folder becomes a link to outside.
raced() {  # watch, scanner arguments...
    local watch=$1; shift
    local before; before=$(count "$watch")
    settled
    wine "$scanner" "$@" >"$work/out" 2>"$work/err" &
    local pid=$!
    while kill -0 $pid 2>/dev/null && [ "$(count "$watch")" = "$before" ]; do sleep 0.005; done
    if [ "$(count "$watch")" = "$before" ]; then
        echo "FAILED: the run changed nothing before it ended; it said:"; head -3 "$work/err"
        failed=1
    fi
    for d in "${swapped[@]}"; do
        [ -e "$work/t/$d" ] && mv "$work/t/$d" "$work/t/$d.x"
        # The scanner may make the folder again first: then it wins.
        ln -s "$work/outside" "$work/t/.link" && mv -T "$work/t/.link" "$work/t/$d" 2>/dev/null || rm -f "$work/t/.link"
    done
    wait $pid
    echo $? >"$work/status"
}
unswap() {
    for d in "${swapped[@]}"; do
        [ -L "$work/t/$d" ] && rm "$work/t/$d"
        [ -d "$work/t/$d.x" ] || continue
        if [ -d "$work/t/$d" ]; then
            # The scanner made the folder again after the swap moved it and
            # restored into it: what it restored stands; the moved folder's
            # copies of the same names (repaired ones, whose kept bytes the
            # restore used) are the swapper's and go.
            find "$work/t/$d.x" -mindepth 1 -maxdepth 1 -exec mv -n -t "$work/t/$d" {} +
            rm -rf "$work/t/$d.x"
        else
            mv "$work/t/$d.x" "$work/t/$d"
        fi
    done
}
# What every run must leave: the outside untouched, no folder made there,
# and each shortcut that stayed named on the scanner's streams.
unharmed() {  # run's name
    check "$1: nothing behind the links was taken, written or made" \
        bash -c "[ \"\$(cd '$work/outside' && find . -type f | sort | xargs -r md5sum)\" = \"\$(cat '$work/outside.hashes')\" ] &&
                 [ \"\$(cd '$work/outside' && find . -type d | sort)\" = \"\$(cat '$work/outside.folders')\" ]"
}
named() {  # run's name, folder whose shortcuts stayed
    local missing=0
    for f in $(cd "$2" 2>/dev/null && find . -name '*.lnk' -printf '%f\n'); do
        grep -q -- "$f" "$work/err" "$work/out" || missing=$((missing + 1))
    done
    check "$1: each of the $(count "$2") shortcuts left is named" [ $missing -eq 0 ]
}
back_whole() {  # run's name
    settled
    wine "$scanner" --restore "$Q" >"$work/out" 2>"$work/err"
    local status=$? now whole=false
    now=$(cd "$work/t" && find . -type f | sort | xargs -r md5sum)
    [ $status -eq 0 ] && [ "$now" = "$(cat "$work/before")" ] && whole=true
    check "$1: a clean restore gives every file back byte for byte" $whole
    # What went wrong, for a failure seen once in many runs.
    $whole || { echo "  status $status; it said:"; head -3 "$work/err"; diff <(echo "$now") "$work/before" | head -5; }
}
# Every file in the quarantine folder is one of the tree's own.
own_only() {  # run's name
    local strangers
    strangers=$(cd "$work/q" && find . -name '*.lnk' -exec md5sum {} + | cut -d' ' -f1 | sort -u |
                grep -v -x -F -f <(cut -d' ' -f1 "$work/before" | sort -u) | wc -l)
    check "$1: the quarantine folder holds only the tree's own files" [ "$strangers" -eq 0 ]
}

# The safety valve counts repairs as it counts moves.
tree tool
wine "$scanner" --repair "$Q" --max-moves 399 "$T" >"$work/out" 2>"$work/err"
check "--max-moves below the repairs: refused, nothing changed" \
    bash -c "[ $? -eq 2 ] && grep -q 'more than --max-moves 399' '$work/err' && [ \$(find '$work/q' -name '*.lnk' | wc -l) -eq 0 ] &&
             [ \"\$(cd '$work/t' && find . -type f | sort | xargs -r md5sum)\" = \"\$(cat '$work/before')\" ]"

for run in $(seq 1 "$runs"); do
    # --quarantine: the files behind the links are never taken.
    tree gone; outside gone
    raced "$work/q" --quarantine "$Q" "$T"
    unharmed "quarantine $run"
    own_only "quarantine $run"
    named "quarantine $run" "$work/t"
    unswap
    back_whole "quarantine $run"

    # --restore: nothing is put, nor any folder made, behind the links.
    tree gone; outside empty
    wine "$scanner" --quarantine "$Q" "$T" >/dev/null 2>&1
    rm -rf "$work/t/d1" "$work/t/d2" "$work/t/d3"  # made again by the restore
    raced "$work/t" --restore "$Q"
    unharmed "restore $run"
    named "restore $run" "$work/q"
    unswap
    back_whole "restore $run"

    # --repair: no shortcut behind the links is rewritten.
    tree tool; outside tool
    raced "$work/q" --repair "$Q" "$T"
    unharmed "repair $run"
    own_only "repair $run"
    unswap
    back_whole "repair $run"

    # The restore of repaired shortcuts: behind the links lie copies of the
    # repaired files, which a restore following them would write over.
    tree tool
    wine "$scanner" --repair "$Q" "$T" >/dev/null 2>&1
    outside repaired
    raced "$work/q" --restore "$Q"
    unharmed "restore of repaired $run"
    named "restore of repaired $run" "$work/q"
    unswap
    back_whole "restore of repaired $run"
done

[ $failed -eq 0 ] && echo "race_moves: passed" || echo "race_moves: FAILED"
exit $failed
