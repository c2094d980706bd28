#!/usr/bin/env bash
# How long the viewer takes to list a log of 100,000 actions: a generated log in a folder of
# its own, loaded in the real window under Wine on an Xvfb of its own (the test stand-in
# picker answers the folder), timed from the click on the file to the filled action list,
# on the first click (the file is read and parsed) and on a second one (from the file set's
# cache). Needs the windows build (scripts/test-windows.sh or ./run make it).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bin=$root/build/windows/bin
work=$root/build/windows/bench-viewer
winpath() { printf 'Z:%s' "${1//\//\\}"; }
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEARCH=win64

mkdir -p "$work/logs"
scripts/bench-log.sh "$work/logs/big.xml"

display=99
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=:$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

[ -d "$WINEPREFIX" ] || /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
# Wine's own fonts, as scripts/run-viewer.sh gives its prefixes.
cp -u /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
for dll in TarveskLogManager TarveskXMLHandler TarveskFileManager test_folder_picker; do
  /usr/lib/wine/wine64 regsvr32 /s "$(winpath "$bin/$dll.dll")"
done
for _ in 1 2 3; do
  /usr/lib/wine/wine64 "$bin/viewer_driver.exe" measure "$(winpath "$work/logs")" | tr -d '\r'
done
