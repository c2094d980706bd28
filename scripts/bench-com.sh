#!/usr/bin/env bash
# The COM figures in one run, each beside the native process on the same log of 100,000
# actions (best of three, taken in turns):
#   1. GetActionList through COM, called from VBScript under Wine (64-bit): the time of the
#      call (LogContent, which loads the log, and GetActionList), and of the whole cscript
#      process, against the native `logmanager actions` process (bar: 3x);
#   2. the viewer: from the click on the log to the filled action list (scripts/bench-viewer.sh;
#      bar: 0.5 s).
# Needs the native and the windows builds. Exit status 1 when a figure misses its bar.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bin=$root/build/windows/bin
native=$root/build/native/logmanager
work=$root/build/windows/bench-com
winpath() { printf 'Z:%s' "${1//\//\\}"; }
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEARCH=win64
[ -x "$native" ] && [ -f "$bin/TarveskLogManager.dll" ] || {
  echo "needs build/native/logmanager and the windows build" >&2
  exit 2
}

mkdir -p "$work/logs"
scripts/bench-log.sh "$work/logs/big.xml"
cat >"$work/list.vbs" <<'VBS'
Dim files, started, list
Set files = CreateObject("TarveskLogManager.FileSet")
files.LoadFileSet WScript.Arguments(0)
files.ReadFileSetProperties
started = Timer
Set list = files.LogContent(1).GetActionList
WScript.Echo "ms " & CLng((Timer - started) * 1000) & " count " & list.Count
VBS

[ -d "$WINEPREFIX" ] || /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
for dll in TarveskLogManager TarveskXMLHandler TarveskFileManager; do
  /usr/lib/wine/wine64 regsvr32 /s "$(winpath "$bin/$dll.dll")"
done

now() { date +%s%N; }
best_native=999999 best_call=999999 best_script=999999
for _ in 1 2 3; do
  start=$(now)
  "$native" actions "$work/logs" big.xml >/dev/null
  took=$((($(now) - start) / 1000000))
  ((took < best_native)) && best_native=$took
  start=$(now)
  answer=$(/usr/lib/wine/wine64 cscript //nologo "$(winpath "$work/list.vbs")" "$(winpath "$work/logs")\\" | tr -d '\r')
  took=$((($(now) - start) / 1000000))
  ((took < best_script)) && best_script=$took
  [[ $answer =~ ^ms\ ([0-9]+)\ count\ 100000$ ]] || { echo "GetActionList answered: $answer" >&2; exit 1; }
  ((BASH_REMATCH[1] < best_call)) && best_call=${BASH_REMATCH[1]}
done

ok=1
report() {  # what, value ms, baseline ms, bar (0: none)
  local ratio
  ratio=$(awk -v a="$2" -v b="$3" 'BEGIN { printf "%.2f", a / b }')
  printf '%-52s %6d ms  Basis %6d ms  Faktor %5s' "$1" "$2" "$3" "$ratio"
  if [ "$4" != 0 ]; then
    if awk -v r="$ratio" -v l="$4" 'BEGIN { exit !(r <= l) }'; then
      printf ' (Grenze %s) ok\n' "$4"
    else
      printf ' (Grenze %s) VERFEHLT\n' "$4"
      ok=0
    fi
  else
    printf '\n'
  fi
}
echo "Basis: der native Prozess logmanager actions auf derselben Datei (100000 Aktionen)"
report "GetActionList über COM aus VBScript (Aufruf)" "$best_call" "$best_native" 3
report "  ganzer cscript-Prozess unter Wine" "$best_script" "$best_native" 0

viewer=$(scripts/bench-viewer.sh | sed -n 's/.*on the first click: \([0-9]*\) ms.*/\1/p' | sort -n | head -1)
report "Viewer: Klick bis gefüllte Aktionsliste" "${viewer:-999999}" 500 1
[ $ok == 1 ] && echo "Alle Werte innerhalb ihrer Grenzen." || { echo "Werte VERFEHLT."; exit 1; }
