#!/usr/bin/env bash
# The report page in a real browser: makes a fleet, runs veltmor-report on it and holds the page it wrote
# (and its standard error and CSV files) against the generator's truth in headless Chromium.
#   browser_test.sh REPORT_PROGRAM [--bench] [--screenshot FILE]
# --bench       a 10,000-machine fleet instead: veltmor-report under 10 s, first paint and a usable
#               table under 2 s
# --screenshot  also saves a 1280-pixel-wide PNG of the page
# puppeteer-core, at the exact version package.json names, is installed once beside REPORT_PROGRAM in the build tree, or in
# $VELTMOR_NODE_MODULES; npm's cache, Chromium's profile and HOME are throw-away folders.
set -uo pipefail

die() { echo "browser_test: $*" >&2; exit 1; }
[ $# -ge 1 ] || die "usage: browser_test.sh REPORT_PROGRAM [--bench] [--screenshot FILE]"
here=$(cd "$(dirname "$0")" && pwd)
prog=$1; shift
[ -x "$prog" ] || die "no program at $prog"
prog=$(cd "$(dirname "$prog")" && pwd)/$(basename "$prog")
bench=0
shot=
while [ $# -gt 0 ]; do
    case $1 in
        --bench) bench=1 ;;
        --screenshot) [ $# -ge 2 ] || die "--screenshot needs a file"; shot=$2; shift
                      case $shot in /*) ;; *) shot=$PWD/$shot ;; esac ;;
        *) die "unknown argument $1" ;;
    esac
    shift
done
chromium=${CHROMIUM:-/usr/bin/chromium}
[ -x "$chromium" ] || die "no Chromium at $chromium (scripts/setup.sh installs it)"
command -v node >/dev/null || die "no node (scripts/setup.sh installs it)"

work=$(mktemp -d "${TMPDIR:-/tmp}/veltmor-report-test.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/cache" "$work/config"
export HOME="$work/home" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config"
export npm_config_cache="$work/npm-cache" npm_config_update_notifier=false

modules=${VELTMOR_NODE_MODULES:-$(dirname "$prog")/browser-test-node}
stamp=$(sha256sum < "$here/package.json" | cut -d' ' -f1)
mkdir -p "$(dirname "$modules")"
(
    flock 9  # two test runs at once share one install
    if [ "$(cat "$modules/.stamp" 2>/dev/null)" != "$stamp" ]; then
        rm -rf "$modules" && mkdir -p "$modules" && cp "$here/package.json" "$modules/" &&
        (cd "$modules" && npm install --ignore-scripts --no-audit --no-fund --no-package-lock --loglevel=error >&2) &&
        echo "$stamp" > "$modules/.stamp"
    fi
) 9>"$modules.lock" || die "could not install puppeteer-core into $modules"

as_of=2026-12-07T00:00:00Z
if [ $bench -eq 1 ]; then
    python3 "$here/make_fleet.py" "$work/gen" --machines 10000 --runs 1 --rows 50 --no-damage --as-of "$as_of" ||
        die "make_fleet.py failed"
else
    # A thousand machines: the printed page must hold every one.
    python3 "$here/make_fleet.py" "$work/gen" --seed 11 --machines 1000 --runs 3 --as-of "$as_of" || die "make_fleet.py failed"
fi
expected=(--expected "$work/gen/expected-machines.txt")

mkdir -p "$work/out"
start=$(date +%s%N)
"$prog" --as-of "$as_of" "${expected[@]}" --out "$work/out" "$work/gen/fleet" 2>"$work/stderr"
rc=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))
if [ $rc -ne 0 ]; then
    cat "$work/stderr" >&2
    die "veltmor-report exited with $rc"
fi
for f in veltmor-report.html veltmor-targets.csv veltmor-machines.csv veltmor-broken.csv; do
    [ -s "$work/out/$f" ] || die "veltmor-report wrote no $f"
done
if [ $bench -eq 1 ]; then
    echo "bench: veltmor-report read 10,000 machines x 50 rows in ${ms} ms ($(du -sh "$work/gen/fleet" | cut -f1) of scan files, page $(du -h "$work/out/veltmor-report.html" | cut -f1))"
    [ $ms -lt 10000 ] || die "veltmor-report took ${ms} ms on 10,000 machines (limit 10 s)"
fi

args=(--modules "$modules" --page "$work/out/veltmor-report.html" --expected "$work/gen/expected.json"
      --stderr "$work/stderr" --profile "$work/chromium-profile")
[ $bench -eq 1 ] && args+=(--bench)
[ -n "$shot" ] && args+=(--screenshot "$shot")
CHROMIUM=$chromium node "$here/page_test.mjs" "${args[@]}"
