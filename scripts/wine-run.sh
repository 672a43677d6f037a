#!/usr/bin/env bash
# Runs one Windows program under Wine in a fresh prefix that is thrown away
# afterwards, so no test sees what another left behind.  The prefix is copied
# from a template made once per machine (wineboot takes several seconds).
# The template runs programs in Wine's virtual desktop and carries two extra
# drives for the drive-type filter:
#   R:  a CD-ROM drive   (folder drive_r inside the prefix)
#   S:  a network drive  (folder drive_s inside the prefix)
# Each prefix has a home of its own (HOME, the XDG folders), so nothing a
# program does reaches the real user's home: Wine keeps the Recycle Bin in
# $XDG_DATA_HOME/Trash and links the profile's folders to the home's.
#   wine-run.sh PROGRAM [ARGUMENTS...]        one program in a fresh prefix
#   wine-run.sh --script FILE [ARGUMENTS...]  bash FILE in a fresh prefix
#       (WINEPREFIX, HOME and DISPLAY set as for a program), so that several
#       Wine programs share the one prefix: an install, then what it left
set -u
export WINEDEBUG=${WINEDEBUG:--all}

use_home() {  # folder: makes it the home, with an empty Recycle Bin
    export HOME="$1"
    export XDG_DATA_HOME="$1/.local/share" XDG_CONFIG_HOME="$1/.config" XDG_CACHE_HOME="$1/.cache"
    export XDG_RUNTIME_DIR="$1/.run"
    mkdir -p "$XDG_DATA_HOME/Trash/files" "$XDG_DATA_HOME/Trash/info" "$XDG_CONFIG_HOME" \
             "$XDG_CACHE_HOME"
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# The template is made again when Wine, its fonts or this script change.
version=$( (wine --version; ls /usr/share/wine/fonts 2>/dev/null; cat "$0") | cksum | cut -d" " -f1)
template=${VELTMOR_WINE_TEMPLATE:-${TMPDIR:-/tmp}/veltmor-wine-template-$(id -u)-$version}

make_template() {
    local tmp="$template.new.$$"
    rm -rf "$tmp" "$tmp.home"
    use_home "$tmp.home"
    WINEPREFIX="$tmp" wineboot -i >/dev/null 2>&1
    WINEPREFIX="$tmp" wineserver -w
    # wineboot links the profile's Desktop, Documents... to the home; they
    # become folders of the prefix's own.
    find "$tmp/drive_c/users" -mindepth 2 -maxdepth 2 -type l | while read -r link; do
        rm "$link" && mkdir "$link"
    done
    mkdir -p "$tmp/drive_r" "$tmp/drive_s"
    ln -sfn ../drive_r "$tmp/dosdevices/r:"
    ln -sfn ../drive_s "$tmp/dosdevices/s:"
    WINEPREFIX="$tmp" wine reg add 'HKLM\Software\Wine\Drives' /v r: /d cdrom /f >/dev/null 2>&1
    WINEPREFIX="$tmp" wine reg add 'HKLM\Software\Wine\Drives' /v s: /d network /f >/dev/null 2>&1
    # Every program runs in Wine's virtual desktop: real windows, but no
    # top-level X windows, so closing one does not wait for a window manager
    # that Xvfb does not have (two seconds a window otherwise).
    WINEPREFIX="$tmp" wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    WINEPREFIX="$tmp" wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
    WINEPREFIX="$tmp" wineserver -w
    # Wine's own fonts (MS Sans Serif, Marlett for the caption buttons) are
    # not found in the package's folder here; the prefix gets a copy.
    cp /usr/share/wine/fonts/* "$tmp/drive_c/windows/Fonts/"
    rm -rf "$tmp.home"
    mv "$tmp" "$template"
}

if [ ! -f "$template/system.reg" ]; then
    exec 9>"$template.lock"
    flock 9
    [ -f "$template/system.reg" ] || make_template
    flock -u 9
fi

# VELTMOR_PREFIX_PARENT: where the prefix goes, for a caller that kills
# runs (no trap runs then) and removes what they leave.
prefix=$(mktemp -d "${VELTMOR_PREFIX_PARENT:-${TMPDIR:-/tmp}}/veltmor-wine.XXXXXX")
xvfb_pid=
cleanup() {
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$prefix"
}
trap cleanup EXIT

# With VELTMOR_OWN_DISPLAY (the test suite sets it), each program gets an
# X server of its own in place of the shared one: Wine programs of tests run side by side on one server now and
# then fail with an X error (BadMatch from X_CreateGC). The server says
# which display it took on a descriptor, so parallel starts never race.
if [ -n "${VELTMOR_OWN_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ] && command -v Xvfb >/dev/null 2>&1; then
    fifo="$prefix.display"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    xvfb_pid=$!
    read -r number <"$fifo"
    rm -f "$fifo"
    export DISPLAY=":$number"
    unset XAUTHORITY
fi
cp -a "$template/." "$prefix/"
export WINEPREFIX="$prefix"
use_home "$prefix/home"
if [ "${1:-}" = --script ]; then
    shift
    bash "$@"
else
    wine "$@"
fi
rc=$?
WINEPREFIX="$prefix" wineserver -w
exit $rc
