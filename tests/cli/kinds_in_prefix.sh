#!/usr/bin/env bash
# The Wine half of kinds.sh, in one fresh prefix.
#   kinds_in_prefix.sh WORK SCANNER.exe KINDS_FIXTURE.exe
set -u
work=$1 scanner=$2 fixture=$3
c="$WINEPREFIX/drive_c"
log="$work/wine.log"
failed=0
windows() { echo "Z:${1//\//\\}"; }
check() {  # description, command...
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failed=1; sed 's/^/    /' "$work/err" | head -n 20; fi
}
step() { echo "== $*"; }
scan() {  # scanner arguments...: output in out, standard error in err, exit status in status
    wine "$(windows "$scanner")" "$@" >"$work/out" 2>"$work/err"
    echo $? >"$work/status"
}
status_is() { [ "$(cat "$work/status")" = "$1" ]; }
# The csv row of the shortcut whose name ends so: "status,reason,kind,location".
row() {
    python3 - "$work/out" "$1" <<'PY'
import csv, sys
rows = [r for r in csv.DictReader(open(sys.argv[1], encoding="utf-8", newline=""))]
hits = [r for r in rows if r["shortcut"].endswith(sys.argv[2])]
print(",".join([hits[0]["status"], hits[0]["reason"], hits[0]["kind"], hits[0]["location"]]) if len(hits) == 1 else "none")
PY
}
is_row() {  # name expected
    local got
    got=$(row "$1")
    [ "$got" = "$2" ] || { echo "    $1: $got, not $2"; return 1; }
}
fixture() { wine "$(windows "$fixture")" "$@" 2>>"$log"; }
product=$(cat "$work/product") component=$(cat "$work/component") feature=$(cat "$work/feature")
random_product='{3F2504E0-4F89-11D3-9A0C-0305E82C3301}' random_component='{6B29FC40-CA47-1067-B31D-00DD010662DA}'

step "advertised shortcuts of product $product (feature $feature, component $component)"
adv="$c/kinds/adv"
mkdir -p "$adv"
fixture advertised 'C:\kinds\adv\Veltmor.lnk' "$product" "$feature" "$component"
fixture advertised 'C:\kinds\adv\Random.lnk' "$random_product" "$feature" "$random_component"
check "the fixtures are written" [ -s "$adv/Veltmor.lnk" -a -s "$adv/Random.lnk" ]
wine msiexec /i "$(windows "$work/veltmor.msi")" /qn 2>>"$log"
check "Veltmor's package installs" [ $? -eq 0 ]
scan --all --format csv 'C:\kinds\adv'
check "installed: its advertised shortcut is installer-managed" is_row '\Veltmor.lnk' "missing,installer-managed,lnk,folder"
check "  a descriptor of a random product is installer-orphaned" is_row '\Random.lnk' "missing,installer-orphaned,lnk,folder"
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;msi=" scan --all --format csv 'C:\kinds\adv'
check "without the installer (msi.dll disabled) both are unverified" \
    eval 'is_row "\\Veltmor.lnk" "unverified,unverified,lnk,folder" && is_row "\\Random.lnk" "unverified,unverified,lnk,folder"'
wine msiexec /x "$product" /qn 2>>"$log"
check "the package uninstalls silently" [ $? -eq 0 ]
scan --format csv 'C:\kinds\adv'
check "uninstalled: listed by default as installer-orphaned, exit status 1" \
    eval 'is_row "\\Veltmor.lnk" "missing,installer-orphaned,lnk,folder" && status_is 1'
scan --quarantine 'C:\kinds\q' 'C:\kinds\adv'
check "--quarantine moves both (exit status $(cat "$work/status"))" \
    eval 'status_is 0 && [ ! -e "$adv/Veltmor.lnk" ] && [ -s "$c/kinds/q/C/kinds/adv/Veltmor.lnk" ] && [ ! -e "$adv/Random.lnk" ]'
scan --restore 'C:\kinds\q'
check "--restore brings them back" eval 'status_is 0 && [ -s "$adv/Veltmor.lnk" ] && [ -s "$adv/Random.lnk" ]'

step ".url and .appref-ms"
k="$c/kinds/text"
mkdir -p "$k"
printf '[InternetShortcut]\r\nURL=file:///C:/gone.txt\r\n' >"$k/gone.url"
printf '[InternetShortcut]\r\nURL=file:///C:/windows/win.ini\r\n' >"$k/winini.url"
printf '[InternetShortcut]\r\nURL=https://example.invalid/\r\n' >"$k/web.url"
printf '\xff\xfe' >"$k/wide.url"
printf '[InternetShortcut]\r\nURL=file:///C:/gone-wide.txt\r\n' | iconv -f UTF-8 -t UTF-16LE >>"$k/wide.url"
printf '[InternetShortcut]\r\nIconIndex=1\r\n' >"$k/damaged.url"
app='http://deploy.example.invalid/Tool/Tool.application#Tool.application, Culture=neutral, PublicKeyToken=0123456789abcdef, processorArchitecture=msil'
other='http://deploy.example.invalid/Gone/Gone.application#Gone.application, Culture=neutral, PublicKeyToken=0123456789abcdef, processorArchitecture=msil'
for pair in "present:$app" "gone:$other" "damaged:no deployment named"; do
    { printf '\xff\xfe'; printf '%s' "${pair#*:}" | iconv -f UTF-8 -t UTF-16LE; } >"$k/${pair%%:*}.appref-ms"
done
wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\0a1b2c3d4e5f6a7b' /v ShortcutAppId /d "$app" /f \
    >/dev/null 2>>"$log"
for format in csv json; do
    scan --all --format $format 'C:\kinds\text'
    [ $format = csv ] || python3 - "$work/out" <<'PY' >"$work/out.csv"
import csv, json, sys
rows = json.load(open(sys.argv[1], encoding="utf-8"))
w = csv.writer(sys.stdout)
w.writerow(["shortcut", "status", "reason", "kind", "location"])
for r in rows:
    w.writerow([r["shortcut"], r["status"], r["reason"] or "", r["kind"], r["location"]])
PY
    [ $format = csv ] || mv "$work/out.csv" "$work/out"
    check "$format: file:///C:/gone.txt missing" is_row '\gone.url' "missing,missing,url,folder"
    check "$format: file:///C:/windows/win.ini present" is_row '\winini.url' "present,,url,folder"
    check "$format: https://example.invalid/ not-a-file" is_row '\web.url' "missing,not-a-file,url,folder"
    check "$format: a UTF-16 one to a gone file missing" is_row '\wide.url' "missing,missing,url,folder"
    check "$format: a damaged one unreadable" is_row '\damaged.url' "missing,unreadable,url,folder"
    check "$format: an installed ClickOnce application present" is_row '\present.appref-ms' "present,,appref-ms,folder"
    check "$format: one with no uninstall entry missing" is_row '\gone.appref-ms' "missing,missing,appref-ms,folder"
    check "$format: a damaged one unreadable" is_row '\damaged.appref-ms' "missing,unreadable,appref-ms,folder"
done
scan --format csv 'C:\kinds\text'
check "by default: the broken ones only, not the web address" \
    eval 'is_row "\\gone.url" "missing,missing,url,folder" && is_row "\\web.url" none && is_row "\\winini.url" none'

step "taskbar pins"
p="$c/kinds/pins/User Pinned/TaskBar"
mkdir -p "$p/Tombstone"
fixture link 'C:\kinds\pins\User Pinned\TaskBar\Broken.lnk' 'C:\gone\tool.exe'
fixture link 'C:\kinds\pins\User Pinned\TaskBar\Tombstone\Dead.lnk' 'C:\gone\dead.exe'
scan --format csv 'C:\kinds\pins'
check "a broken pin is listed as pinned" is_row '\Broken.lnk' "missing,missing,lnk,pinned"
check "  Explorer's Tombstone as tombstone" is_row '\Dead.lnk' "missing,missing,lnk,tombstone"
scan --quarantine 'C:\kinds\pq' 'C:\kinds\pins'
check "--quarantine leaves both (exit status $(cat "$work/status"))" \
    eval 'status_is 0 && [ -s "$p/Broken.lnk" ] && [ -s "$p/Tombstone/Dead.lnk" ]'
scan --quarantine 'C:\kinds\pq' --include-pins 'C:\kinds\pins'
check "--include-pins moves the pin, never the Tombstone's" \
    eval 'status_is 0 && [ ! -e "$p/Broken.lnk" ] && [ -s "$p/Tombstone/Dead.lnk" ]'
exit $failed
