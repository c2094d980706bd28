#!/usr/bin/env bash
# The viewer under Wine, for ./run: builds the Windows side, prepares a Wine prefix of its
# own in the build tree, registers the DLLs and opens the logs of a folder.
#   scripts/run-viewer.sh FOLDER                    LogManagerHost.exe on $DISPLAY; the folder
#                                                   picker starts in FOLDER
#   scripts/run-viewer.sh --screenshot FILE FOLDER  the same road without a display, under an
#                                                   Xvfb of its own: loads FOLDER (the test
#                                                   stand-in picker answers it), chooses the
#                                                   first file and its first action and saves
#                                                   a picture of the window as FILE (PNG)
# A folder made by make_example names its database by a Linux path; the viewer gets a copy
# whose logs name it as Wine sees it, so that an undo reaches the database.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

screenshot=
if [ "${1:-}" == --screenshot ]; then
  screenshot=$(realpath -m "$2")
  shift 2
fi
folder=$(realpath "$1")

scripts/install-deps.sh windows
scripts/build-sqlite-windows.sh >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 >/dev/null

bin=$root/build/windows/bin
winpath() { printf 'Z:%s' "${1//\//\\}"; }
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" WINEARCH=win64
if [ -n "$screenshot" ]; then
  export WINEPREFIX=$root/build/windows/shot-prefix
else
  export WINEPREFIX=$root/build/windows/run-prefix
fi

# The copy of the folder the viewer shows, with the database paths of its logs for Wine.
shown=$root/build/windows/viewer-logs
rm -rf "$shown"
mkdir -p "$shown"
cp -r "$folder/." "$shown/"
if [ -f "$folder/../shop.db" ]; then
  cp "$folder/../shop.db" "$root/build/windows/viewer-shop.db"
  database=$(winpath "$root/build/windows/viewer-shop.db")
  for log in "$shown"/*.xml; do
    sed -i "s|<DATABASE>$(realpath "$folder/../shop.db")</DATABASE>|<DATABASE>${database//\\/\\\\}</DATABASE>|" "$log"
  done
fi

xvfb=
cleanup() {
  /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  /usr/lib/wine/wineserver64 -w 2>/dev/null || true
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
}
trap cleanup EXIT

if [ -n "$screenshot" ]; then
  display=99
  while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=:$display
  for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
fi

if [ ! -d "$WINEPREFIX" ]; then
  echo "-- Wine prefix $WINEPREFIX"
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
fi
# This Wine does not find its own fonts (package fonts-wine) by itself: without them
# Tahoma, the dialogs' font, and Marlett, the title-bar buttons' symbols, are replaced.
cp -u /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
# Without a window manager each hidden window would wait for one.
if [ -n "$screenshot" ]; then
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
fi
for dll in TarveskLogManager TarveskXMLHandler TarveskFileManager TarveskDataLayer; do
  /usr/lib/wine/wine64 regsvr32 /s "$(winpath "$bin/$dll.dll")"
done
# An undo from the viewer is logged where the data layer writes, beside the shown logs.
export TARVESK_DATALAYER_LOGDIR; TARVESK_DATALAYER_LOGDIR=$(winpath "$shown")

if [ -z "$screenshot" ]; then
  echo "-- LogManagerHost.exe: \"Fileset laden\" starts in $shown"
  /usr/lib/wine/wine64 "$bin/LogManagerHost.exe"
  exit 0
fi

/usr/lib/wine/wine64 regsvr32 /s "$(winpath "$bin/test_folder_picker.dll")"
signal=$root/build/windows/shot-signal
rm -rf "$signal" && mkdir -p "$signal"
/usr/lib/wine/wine64 "$bin/viewer_driver.exe" pose "$(winpath "$shown")" 0 0 "$(winpath "$signal/ready")" \
  "$(winpath "$signal/stop")" &
driver=$!
for _ in $(seq 600); do [ -e "$signal/ready" ] && break; sleep 0.1; done
[ -e "$signal/ready" ] || { echo "the viewer did not come up" >&2; exit 1; }
sleep 1
# The viewer's own window when it can be found, else the whole screen.
window=$(xdotool search --name '^Log Manager$' 2>/dev/null | head -1 || true)
import -window "${window:-root}" "$screenshot"
touch "$signal/stop"
wait "$driver" || { echo "the viewer driver failed; the picture may not show the viewer" >&2; exit 1; }
echo "-- screenshot: $screenshot"
