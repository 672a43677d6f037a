#!/usr/bin/env bash
# A target the user may not see is not a missing target. As a user who may
# not enter a folder of root's (mode 700), under Wine: veltmor-scan calls a
# shortcut into that folder "unverified" (exit status 0, never moved), and the
# dialog's file system does not list it; a shortcut to a file that is truly
# absent beside it stays "missing". Needs root to make the user; skipped
# (exit 77) otherwise.
#   access_denied.sh SCANNER.exe UNICODE_TESTS.exe WINE_RUN.sh
set -u
[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root to add a user"; exit 77; }
user=veltmortest
id "$user" >/dev/null 2>&1 || useradd --no-create-home --shell /bin/bash "$user" || exit 1

work=$(mktemp -d /tmp/veltmor-denied.XXXXXX) || exit 1
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir -p "$work/locked" "$work/links" "$work/open" "$work/user"
echo x >"$work/locked/app.exe"
chmod 700 "$work/locked"
cp "$1" "$work/user/veltmor-scan.exe"
cp "$2" "$work/user/tests.exe"
cp "$3" "$work/user/wine-run.sh"

windows() { echo "Z:${1//\//\\}"; }
# Shortcuts built byte by byte, as Windows writes them.
python3 "$(dirname "$0")/make_lnk.py" "$work/links/denied.lnk" "$(windows "$work/locked/app.exe")" \
    "$work/links/gone.lnk" "$(windows "$work/open/gone.exe")" || exit 1
chown -R "$user" "$work/links" "$work/user"

as_user() {
    su "$user" -s /bin/bash -c "cd '$work/user' && unset DISPLAY && TMPDIR='$work/user' bash wine-run.sh $*"
}
status=0
out=$(as_user "./veltmor-scan.exe --all --format json '$(windows "$work/links")'")
rc=$?
echo "$out"
echo "$out" | python3 -c '
import json, sys
rows = {r["shortcut"].rsplit("\\", 1)[1]: r for r in json.load(sys.stdin)}
assert rows["denied.lnk"]["status"] == "unverified", rows["denied.lnk"]
assert rows["denied.lnk"]["detail"], rows["denied.lnk"]
assert rows["gone.lnk"]["status"] == "missing", rows["gone.lnk"]
' || status=1
[ "$rc" -eq 1 ] || { echo "exit status $rc, not 1 (gone.lnk is missing)"; status=1; }

VELTMOR_DENIED_LINKS=$(windows "$work/links") as_user "./tests.exe --gtest_filter=AccessDenied.*" || status=1
# Nothing was moved or changed by the scan.
[ -f "$work/links/denied.lnk" ] && [ -f "$work/links/gone.lnk" ] || status=1
[ $status -eq 0 ] && echo "access_denied: passed" || echo "access_denied: FAILED"
exit $status
