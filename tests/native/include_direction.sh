#!/bin/sh
# Fails when a file under cli/ or scan/ includes one from a higher layer.
# Layers, low to high: scan -> cli (finding, places, trust) -> cli/quarantine,
# cli/suggest, cli/snapshot, cli/kinds -> cli/actions (and the command that
# dispatches them) -> cli/win32.
# Usage: include_direction.sh ROOT [SCRATCH]; with SCRATCH it first proves it
# catches an upward include in a small tree made there.
set -u

layer() {
    case "$1" in
        scan/*) echo 0 ;;
        cli/win32/*) echo 4 ;;
        cli/actions/* | cli/ScanCommand.*) echo 3 ;;
        cli/quarantine/* | cli/suggest/* | cli/snapshot/* | cli/kinds/*) echo 2 ;;
        cli/*) echo 1 ;;
        *) echo -1 ;;  # outside the layers: not checked
    esac
}

# Prints "file -> included" for each upward include under $1; status 1 if any.
check() {
    root=$1
    bad=0
    for file in $(cd "$root" && find cli scan -name '*.h' -o -name '*.cpp' 2>/dev/null | sort); do
        from=$(layer "$file")
        for inc in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$root/$file"); do
            dir=$(dirname "$file")
            if [ -f "$root/$dir/$inc" ]; then
                target=$(realpath -m --relative-to="$root" "$root/$dir/$inc")
            elif [ -f "$root/$inc" ]; then
                target=$inc
            else
                continue  # a system or generated header
            fi
            to=$(layer "$target")
            if [ "$to" -gt "$from" ]; then
                echo "upward include: $file -> $target"
                bad=1
            fi
        done
    done
    return $bad
}

if [ $# -ge 2 ]; then
    scratch=$2/include_direction_probe
    rm -rf "$scratch"
    mkdir -p "$scratch/cli/quarantine" "$scratch/cli/win32" "$scratch/scan"
    echo '#include "cli/win32/Host.h"' > "$scratch/cli/quarantine/Folder.cpp"
    echo '#include "../Row.h"' > "$scratch/cli/quarantine/Fine.cpp"
    echo '#include "cli/Row.h"' > "$scratch/scan/Engine.cpp"
    : > "$scratch/cli/win32/Host.h"
    : > "$scratch/cli/Row.h"
    found=$(check "$scratch")
    rm -rf "$scratch"
    expected="upward include: cli/quarantine/Folder.cpp -> cli/win32/Host.h
upward include: scan/Engine.cpp -> cli/Row.h"
    if [ "$found" != "$expected" ]; then
        echo "the check itself is wrong; it found:"
        echo "$found"
        exit 1
    fi
fi

check "$1"
