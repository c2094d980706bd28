#!/usr/bin/env bash
# The Windows build and its tests under Wine: builds the windows preset, makes a fresh Wine
# prefix in the build tree, registers every COM DLL with regsvr32, runs the VBScript suites
# (tests/wine/*.vbs) through cscript and the C++ hosts, then unregisters every DLL and checks
# that its registry keys are gone. Non-zero on any failure. Needs no display: Wine's null
# graphics driver carries the message boxes.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh windows
scripts/build-sqlite-windows.sh

echo "-- windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j2

bin=$root/build/windows/bin
run=$root/build/windows/wine
export WINEPREFIX=$run/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEARCH=win64 LANG=C.UTF-8 DISPLAY=
unset WAYLAND_DISPLAY

# A Windows path for a Linux one (Wine maps / to drive Z:).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}

# Ends the prefix's Wine server and waits until it is gone (it saves the registry then).
cleanup() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}
trap cleanup EXIT

echo "-- fresh Wine prefix"
cleanup
rm -rf "$run"
mkdir -p "$run/work"
wine wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
cleanup
wineserver -p  # keep one server for the whole run: each wine call starts faster

dlls=(TarveskLogManager TarveskXMLHandler TarveskFileManager)
if [ -f "$bin/TarveskDataLayer.dll" ]; then dlls+=(TarveskDataLayer); fi

# Keys every registration writes and every unregistration must remove.
keys=(
  'HKCR\TarveskLogManager.FileSet'
  'HKCR\TarveskLogManager.PropertyCollection'
  'HKCR\TarveskLogManager.LogData'
  'HKCR\TarveskLogManager.LogManager'
  'HKCR\TarveskLogManager.ActionHandler'
  'HKCR\CLSID\{58DF28A8-CD67-457E-895F-679909D658CE}'
  'HKCR\CLSID\{A02205DE-2E14-495E-B785-00E89E379891}'
  'HKCR\CLSID\{CEC52904-0D83-40AD-AFD2-6F3121431F7B}'
  'HKCR\CLSID\{14514CB6-F68F-4E34-839A-B56D83EEBA0F}'
  'HKCR\CLSID\{988535BC-D916-4DF6-A552-E5014EA455C4}'
  'HKCR\TypeLib\{79BD0081-3AF0-4BD0-BB07-5A2CA350D6E0}'
  'HKCR\Interface\{1720201E-48BB-4312-B33A-9EFC0F6EE3EF}'
  'HKCR\Interface\{74E707B3-E74D-4058-B44D-11BAACE8B40F}'
  'HKCR\Interface\{CB60F74E-3428-4E8A-8434-D792B1282302}'
  'HKCR\Interface\{A8AD3945-C19D-4518-89C3-2D2218C2E0C8}'
  'HKCR\Interface\{4F9D2D62-CB00-4EE0-9AC9-F3BD45D7CC20}'
  'HKCR\Interface\{20EC6D58-D0A8-4CFD-ABCB-DC0A6848A7E5}'
  'HKCR\TarveskXMLHandler.XMLParser'
  'HKCR\TypeLib\{8442C403-7835-4DCE-8827-33F585B827EF}'
  'HKCR\TarveskFileManager.FileSystem'
  'HKCR\TarveskFileManager.clsFileManager'
  'HKCR\TypeLib\{9B911AFC-3372-44E5-B0D9-C26A113020B5}'
)
if [ -f "$bin/TarveskDataLayer.dll" ]; then
  keys+=('HKCR\TarveskDataLayer.DataLayer' 'HKCR\TypeLib\{2BD332B6-13DF-4AF5-BE58-261D5F31ABC8}')
fi
key_exists() { wine reg query "$1" >/dev/null 2>&1; }

echo "-- regsvr32"
for dll in "${dlls[@]}"; do
  wine regsvr32 /s "$(winpath "$bin/$dll.dll")" || fail "regsvr32 $dll.dll"
done
for key in "${keys[@]}"; do
  key_exists "$key" || fail "not registered: $key"
done
threading=$(wine reg query 'HKCR\CLSID\{CEC52904-0D83-40AD-AFD2-6F3121431F7B}\InprocServer32' \
  /v ThreadingModel 2>/dev/null | tr -d '\r')
[[ $threading == *Apartment* ]] || fail "FileSet is not registered apartment-threaded"

# Checks the output of a suite: its last line must be a summary of more than no checks
# with no failures (exit codes of cscript say nothing).
check_summary() {
  local name=$1 output=$2
  echo "$output" | grep -v '^SUMMARY' || true
  local summary
  summary=$(echo "$output" | grep '^SUMMARY' | tail -1) || true
  echo "$name: ${summary:-no summary}"
  [[ $summary =~ ^SUMMARY\ checks=([0-9]+)\ failures=0$ ]] && [ "${BASH_REMATCH[1]}" -gt 0 ] ||
    fail "$name"
}

# Runs a VBScript suite with its arguments: its Main between the shared start and end
# (SuiteStart.vbs, SuiteEnd.vbs), converted to the code page cscript reads.
run_vbs() {
  local name=$1
  shift
  cat tests/wine/SuiteStart.vbs "tests/wine/$name.vbs" tests/wine/SuiteEnd.vbs |
    iconv -f UTF-8 -t CP1252 >"$run/work/$name.vbs"
  local output
  output=$(timeout "${vbs_timeout:-300}" wine cscript //nologo "$(winpath "$run/work/$name.vbs")" "$@" 2>&1 |
    iconv -f CP437 -t UTF-8 | tr -d '\r') || true
  check_summary "$name.vbs" "$output"
}

echo "-- VBScript suites"
cp -r tests/wine/data/logs "$run/work/logs"
run_vbs fileset "$(winpath "$run/work/logs")\\"

# Runs a VBScript suite while the dialog answerer answers its message boxes and records them
# in the given file. Answers are comma-separated (ok, yes, no); the last one repeats.
run_vbs_answered() {
  local name=$1 record=$2 answers=$3
  shift 3
  rm -f "$record" "$run/work/stop"
  wine "$bin/dialog_answerer.exe" "$(winpath "$record")" "$(winpath "$run/work/stop")" 240 \
    ${answers//,/ } &
  local answerer=$!
  run_vbs "$name" "$@"
  touch "$run/work/stop"
  wait "$answerer" || true
  touch "$record"
}

echo "-- a component that is not registered: its message once, then the operation fails"
missing_text="Die Komponente Tarvesk %s konnte nicht geladen werden. Ev. ist diese Software nicht korrekt installiert!"
for component in FileManager XMLHandler; do
  wine regsvr32 /s /u "$(winpath "$bin/Tarvesk$component.dll")"
  run_vbs_answered factories "$run/work/factory-messages.txt" ok \
    "$(winpath "$run/work/logs")\\" "${component,,}"
  expected=$(printf "Komponente nicht verfügbar!\t$missing_text" "$component")
  [ "$(cat "$run/work/factory-messages.txt")" == "$expected" ] ||
    fail "message of the missing $component: $(cat "$run/work/factory-messages.txt")"
  wine regsvr32 /s "$(winpath "$bin/Tarvesk$component.dll")" || fail "regsvr32 $component"
done

echo "-- the folder picker shows its dialog in its start folder; cancelled, it chooses nothing"
logs=$(winpath "$run/work/logs")
vbs_timeout=60  # a dialog that an answer does not close waits for nobody
run_vbs_answered folderpicker "$run/work/picker-messages.txt" cancel "$logs" ""
[ "$(cut -f1 "$run/work/picker-messages.txt")" == "Pfad für das oder die Logfiles auswählen" ] ||
  fail "folder dialog: $(cat "$run/work/picker-messages.txt")"
run_vbs_answered folderpicker "$run/work/picker-messages.txt" ok "$logs" "$logs"
mkdir -p "$run/work/datalayer-logs"
TARVESK_DATALAYER_LOGDIR=$(winpath "$run/work/datalayer-logs") run_vbs_answered folderpicker \
  "$run/work/picker-messages.txt" ok "" "$(winpath "$run/work/datalayer-logs")"
unset vbs_timeout

if [ -f "$bin/TarveskDataLayer.dll" ]; then
  echo "-- undo against SQLite with answered message boxes"
  undo=$run/work/undo
  mkdir -p "$undo/logs" "$undo/changes"
  sqlite3 "$undo/shop.db" <tests/wine/data/undo/shop.sql
  database=$(winpath "$undo/shop.db")
  missing=$(winpath "$undo/none/shop.db")
  for log in log_undo log_zmissing; do
    sed -e "s|@DATABASE@|${database//\\/\\\\}|" -e "s|@MISSING@|${missing//\\/\\\\}|" \
      -e 's/$/\r/' "tests/wine/data/undo/$log.xml.in" | iconv -f UTF-8 -t CP1252 >"$undo/logs/$log.xml"
  done
  export TARVESK_DATALAYER_LOGDIR; TARVESK_DATALAYER_LOGDIR=$(winpath "$undo/changes")
  run_vbs_answered undo "$undo/messages.txt" yes,ok,no,ok,ok,yes,ok,yes,ok \
    "$(winpath "$undo/logs")\\"
  diff -u tests/wine/data/undo/expected-messages.txt "$undo/messages.txt" || fail "undo messages"
  [ "$(sqlite3 "$undo/shop.db" 'SELECT ID, Ort FROM Kunden ORDER BY ID' | tr '\n' ' ')" == \
    "5|Ulm 7|München 8|Berlin " ] ||
    fail "database after the undos: $(sqlite3 "$undo/shop.db" 'SELECT * FROM Kunden')"
fi

if [ -f "$bin/TarveskDataLayer.dll" ]; then
  echo "-- undo guards: refused queries and fields, exact restores, no lost update"
  guard=$run/work/guard
  mkdir -p "$guard/logs" "$guard/sessions" "$guard/changes"
  sqlite3 "$guard/shop.db" <tests/wine/data/undo/guard.sql
  exact="SELECT ID, typeof(T), hex(T), typeof(R), R, typeof(B), hex(B), typeof(X), hex(X) FROM Werte"
  before=$(sqlite3 "$guard/shop.db" "$exact")
  database=$(winpath "$guard/shop.db")
  sed -e "s|@DATABASE@|${database//\\/\\\\}|" -e 's/$/\r/' tests/wine/data/undo/log_guard.xml.in |
    iconv -f UTF-8 -t CP1252 >"$guard/logs/log_guard.xml"
  TARVESK_DATALAYER_LOGDIR=$(winpath "$guard/changes") run_vbs_answered undo_guard \
    "$guard/messages.txt" yes,ok,yes,ok,yes,ok "$(winpath "$guard/logs")\\" "$(winpath "$guard/sessions")\\" \
    "$database"
  [ "$(grep -c '^Datensatz angelegt' "$guard/messages.txt")" -eq 3 ] ||
    fail "restores of the undo guards: $(cat "$guard/messages.txt")"
  [ "$(sqlite3 "$guard/shop.db" "$exact")" == "$before" ] ||
    fail "restored records differ: $(sqlite3 "$guard/shop.db" "$exact")"
  [ "$(sqlite3 "$guard/shop.db" 'SELECT Ort FROM Kunden')" == "Bonn" ] ||
    fail "a change made meanwhile was overwritten: $(sqlite3 "$guard/shop.db" 'SELECT * FROM Kunden')"
fi

if [ -f "$bin/TarveskDataLayer.dll" ]; then
  echo "-- the viewer window, driven through its controls, with the stand-in folder picker"
  gui=$run/work/gui
  mkdir -p "$gui/logs" "$gui/changes"
  cp tests/wine/data/logs/* "$gui/logs/"
  sqlite3 "$gui/shop.db" <tests/wine/data/undo/shop.sql
  database=$(winpath "$gui/shop.db")
  sed -e "s|@DATABASE@|${database//\\/\\\\}|" -e 's/$/\r/' tests/wine/data/undo/log_undo.xml.in |
    iconv -f UTF-8 -t CP1252 >"$gui/logs/log_undo.xml"
  wine regsvr32 /s "$(winpath "$bin/test_folder_picker.dll")" || fail "regsvr32 test_folder_picker"
  rm -f "$gui/messages.txt" "$gui/stop"
  wine "$bin/dialog_answerer.exe" "$(winpath "$gui/messages.txt")" "$(winpath "$gui/stop")" 240 \
    yes ok no ok &
  answerer=$!
  output=$(TARVESK_DATALAYER_LOGDIR=$(winpath "$gui/changes") timeout 300 \
    wine "$bin/viewer_driver.exe" test "$(winpath "$gui/logs")" "$database" 2>&1 | tr -d '\r') || true
  touch "$gui/stop"
  wait "$answerer" || true
  check_summary viewer_driver "$output"
  # The undo said yes, then no to the same action a second time.
  expected=$(head -2 tests/wine/data/undo/expected-messages.txt
    printf 'Aktion durchführen\tSie möchten Sie die folgende Aktion durchführen:\\nAktueller Wert des Felds Ort: München\\nÜberschreiben mit Wert: München\n'
    sed -n 4p tests/wine/data/undo/expected-messages.txt)
  diff -u <(echo "$expected") "$gui/messages.txt" || fail "message boxes of the undo from the window"
  [ "$(sqlite3 "$gui/shop.db" 'SELECT ID, Ort FROM Kunden ORDER BY ID' | tr '\n' ' ')" == \
    "7|München 8|Berlin 9|Trier " ] ||
    fail "database after the undo from the window: $(sqlite3 "$gui/shop.db" 'SELECT * FROM Kunden')"
  [ -n "$(ls "$gui/changes")" ] || fail "the undo from the window wrote no change log"
  wine regsvr32 /s "$(winpath "$bin/TarveskFileManager.dll")" || fail "regsvr32 TarveskFileManager"
fi

echo "-- C++ host, early-bound"
rm -rf "$run/work/logs" && cp -r tests/wine/data/logs "$run/work/logs"
output=$(timeout 300 wine "$bin/early_bound_host.exe" "$(winpath "$run/work/logs")\\" \
  "$(winpath "$bin/TarveskLogManager.dll")" 2>&1 | tr -d '\r') || true
check_summary early_bound_host "$output"

if [ -f "$bin/logmanager.exe" ]; then
  echo "-- logmanager.exe over the COM components"
  rm -rf "$run/work/logs" && cp -r tests/wine/data/logs "$run/work/logs"
  logs=$(winpath "$run/work/logs")
  listing=$(timeout 120 wine "$bin/logmanager.exe" files "$logs" 2>&1 | tr -d '\r') ||
    fail "logmanager.exe files exited with an error"
  expected=$'01.12.2026 08:30:12: C:\\db\\shop.db (log_a.xml)\n03.12.2026 14:15:00: OFFLINE (log_b.xml)'
  [ "$listing" == "$expected" ] || fail "logmanager.exe files: $listing"
  details=$(timeout 120 wine "$bin/logmanager.exe" show "$logs" 1 1 2>&1 | tr -d '\r') ||
    fail "logmanager.exe show exited with an error"
  expected=$'ACTION: UPDATE\nFieldName: Ort\nOldValue: München\nNewValue: Köln\nRECORDID: 7'
  [ "$details" == "$expected" ] || fail "logmanager.exe show: $details"
  status=0
  timeout 120 wine "$bin/logmanager.exe" files "$logs\\missing" >/dev/null 2>&1 || status=$?
  [ "$status" -eq 1 ] || fail "logmanager.exe on a missing folder exits with $status, not 1"
fi

echo "-- regsvr32 /u"
for dll in "${dlls[@]}"; do
  wine regsvr32 /s /u "$(winpath "$bin/$dll.dll")" || fail "regsvr32 /u $dll.dll"
done
for key in "${keys[@]}"; do
  key_exists "$key" && fail "left after unregistering: $key"
done

[ "$failed" -eq 0 ] || exit 1
echo "-- windows tests passed"
