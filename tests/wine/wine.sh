#!/usr/bin/env bash
# The Wine suites, one step per call, as CTest of the windows preset runs them
# (tests/CMakeLists.txt; scripts/test-windows.sh builds both bitnesses first). Both bitnesses
# live side by side in one 64-bit prefix, build/wine, with every COM DLL of each registered
# with the regsvr32 of its bitness:
#   wine.sh prefix        a fresh prefix, both bitnesses registered, their keys checked
#   wine.sh BITS SUITE    one suite through the script host and loader of that bitness (64, 32)
#   wine.sh registration  unregistering one bitness leaves the other working; a DLL registers
#                         from a path with spaces and non-ASCII letters; unregistering both
#                         leaves no key of ours
#   wine.sh stop          ends the prefix's Wine server (it saves the registry then)
#   wine.sh installer     the setup program in fresh prefixes: an upgrade over an older version,
#                         both bitnesses used, silent uninstall leaving nothing; on a 32-bit
#                         Windows only the 32-bit part
# Non-zero on any failure. Needs no display: Wine's null graphics driver carries the message
# boxes.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

# Wine's server and the services it starts outlive a step and would hold its output open:
# CTest, reading it through a pipe, would wait for them. The step writes into a file instead,
# shown when the step ends.
if [ -z "${WINE_SH_STEP:-}" ]; then
  output=$(mktemp)
  status=0
  WINE_SH_STEP=1 "$root/tests/wine/wine.sh" "$@" >"$output" 2>&1 || status=$?
  cat "$output"
  rm -f "$output"
  exit "$status"
fi

# Wine through the loader of the bitness meant: `wine` alone picks the 32-bit system programs
# (cscript, reg, regsvr32) once 32-bit Wine is installed.
declare -A loaders=([64]=/usr/lib/wine/wine64 [32]=/usr/lib/wine/wine)
declare -A architectures=([64]=AMD64 [32]=x86)
declare -A bins=([64]=$root/build/windows/bin [32]=$root/build/windows32/bin)
wineserver=/usr/lib/wine/wineserver64
for program in "${loaders[@]}" "$wineserver"; do
  [ -x "$program" ] || { echo "missing $program: run scripts/install-deps.sh windows" >&2; exit 1; }
done
run=$root/build/wine
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" LANG=C.UTF-8 DISPLAY=
unset WAYLAND_DISPLAY

# The bitness the next wine calls are for; bin is its build's programs and DLLs.
use_bits() {
  bits=$1
  bin=${bins[$bits]}
}
# (a function: programs such as timeout cannot call it; they name "${loaders[$bits]}")
wine() { "${loaders[$bits]}" "$@"; }

# A Windows path for a Linux one (Wine maps / to drive Z:).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

failed=0
fail() {
  echo "FAIL ($bits-bit): $*"
  failed=1
}

# Ends the prefix's Wine server and waits until it is gone (it saves the registry then).
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
}

dlls=(TarveskLogManager TarveskXMLHandler TarveskFileManager TarveskDataLayer)
for bits in 64 32; do
  for dll in "${dlls[@]}"; do
    [ -f "${bins[$bits]}/$dll.dll" ] || { echo "missing ${bins[$bits]}/$dll.dll" >&2; exit 1; }
  done
done

# A fresh prefix of the given architecture (win64 or win32) in FOLDER, made the current one,
# with one server kept for the whole run (each wine call starts faster).
fresh_prefix() {
  local folder=$1 arch=$2
  echo "-- fresh Wine prefix ($arch)"
  cleanup
  rm -rf "$folder"
  mkdir -p "$folder"
  export WINEPREFIX=$folder/prefix WINEARCH=$arch
  [ "$arch" == win64 ] && use_bits 64 || use_bits 32
  wine wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  cleanup
  "$wineserver" -p  # kept between the steps until the stop step ends it
}

# Keys of a bitness's own registry view, and keys both views share.
view_keys=(
  'HKCR\CLSID\{58DF28A8-CD67-457E-895F-679909D658CE}'
  'HKCR\CLSID\{A02205DE-2E14-495E-B785-00E89E379891}'
  'HKCR\CLSID\{CEC52904-0D83-40AD-AFD2-6F3121431F7B}'
  'HKCR\CLSID\{14514CB6-F68F-4E34-839A-B56D83EEBA0F}'
  'HKCR\CLSID\{988535BC-D916-4DF6-A552-E5014EA455C4}'
)
shared_keys=(
  'HKCR\TarveskLogManager.FileSet'
  'HKCR\TarveskLogManager.PropertyCollection'
  'HKCR\TarveskLogManager.LogData'
  'HKCR\TarveskLogManager.LogManager'
  'HKCR\TarveskLogManager.ActionHandler'
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
  'HKCR\TarveskDataLayer.DataLayer'
  'HKCR\TypeLib\{2BD332B6-13DF-4AF5-BE58-261D5F31ABC8}'
)
lib_key='HKCR\TypeLib\{79BD0081-3AF0-4BD0-BB07-5A2CA350D6E0}\1.0\0'
key_exists() { wine reg query "$1" >/dev/null 2>&1; }

# register|unregister [FOLDER]: every COM DLL of the current bitness (from its build, or
# from FOLDER) with the regsvr32 of that bitness.
regsvr() {
  local what=$1 folder=${2:-$bin} flag=()
  [ "$what" == unregister ] && flag=(/u)
  for dll in "${dlls[@]}"; do
    wine regsvr32 /s "${flag[@]}" "$(winpath "$folder/$dll.dll")" || fail "regsvr32 ${flag[*]} $dll.dll"
  done
}

# check_keys present|absent KEY...: the current bitness's registry view has, or lacks, each key.
check_keys() {
  local expected=$1
  shift
  for key in "$@"; do
    if key_exists "$key"; then
      [ "$expected" == present ] || fail "left after unregistering: $key"
    elif [ "$expected" == present ]; then
      # A fresh prefix has once answered the first query of a run with nothing: asked again.
      sleep 2
      key_exists "$key" || fail "not registered: $key ($(wine reg query "$key" 2>&1 | head -2))"
    fi
  done
}
check_view() { check_keys "$1" "${view_keys[@]}"; }
check_shared() { check_keys "$1" "${shared_keys[@]}"; }

# Checks the output of a suite: its last line must be a summary of more than no checks
# with no failures (exit codes of cscript say nothing).
check_summary() {
  local name=$1 output=$2
  echo "$output" | grep -v '^SUMMARY' || true
  local summary
  summary=$(echo "$output" | grep '^SUMMARY' | tail -1) || true
  echo "$name ($bits-bit): ${summary:-no summary}"
  [[ $summary =~ ^SUMMARY\ checks=([0-9]+)\ failures=0$ ]] && [ "${BASH_REMATCH[1]}" -gt 0 ] ||
    fail "$name"
}

# Runs a script suite (NAME.vbs or NAME.js) with its arguments through the current bitness's
# cscript, converted to the code page cscript reads. A VBScript suite is its Main between the
# shared start and end (SuiteStart.vbs, SuiteEnd.vbs). Checks the process architecture the
# suite reports and its summary.
run_script() {
  local file=$1
  shift
  if [[ $file == *.vbs ]]; then
    cat tests/wine/SuiteStart.vbs "tests/wine/$file" tests/wine/SuiteEnd.vbs
  else
    cat "tests/wine/$file"
  fi | iconv -f UTF-8 -t CP1252 >"$work/$file"
  local output process attempt
  # Wine's start.exe has now and then failed to start cscript at all ("ShellExecuteEx
  # failed"): the suite never ran, so it is started once more.
  for attempt in 1 2; do
    output=$(timeout "${vbs_timeout:-300}" "${loaders[$bits]}" cscript //nologo "$(winpath "$work/$file")" "$@" 2>&1 |
      iconv -f CP437 -t UTF-8 | tr -d '\r') || true
    [[ $output == *"ShellExecuteEx failed"* && $output != *PROCESS* ]] || break
    echo "$file (attempt $attempt): cscript did not start: $output"
  done
  process=$(echo "$output" | sed -n 's/^PROCESS //p')
  [ "$process" == "${architectures[$bits]}" ] || fail "$file ran in a process of [$process]"
  check_summary "$file" "$(echo "$output" | grep -v '^PROCESS ')"
}
run_vbs() {
  local name=$1
  shift
  run_script "$name.vbs" "$@"
}

# Runs a VBScript suite while the dialog answerer answers its message boxes and records them
# in the given file. Answers are comma-separated (ok, yes, no); the last one repeats.
run_vbs_answered() {
  local name=$1 record=$2 answers=$3
  shift 3
  rm -f "$record" "$work/stop"
  wine "$bin/dialog_answerer.exe" "$(winpath "$record")" "$(winpath "$work/stop")" 240 \
    ${answers//,/ } &
  local answerer=$!
  run_vbs "$name" "$@"
  touch "$work/stop"
  wait "$answerer" || true
  touch "$record"
}

# A fresh work folder for the current bitness with a copy of the test logs.
fresh_work() {
  work=${WINEPREFIX%/prefix}/work$bits
  rm -rf "$work"
  mkdir -p "$work"
  cp -r tests/wine/data/logs "$work/logs"
}

# The suites, each run through the current bitness's hosts in a fresh work folder.
suite_fileset() {
  run_vbs fileset "$(winpath "$work/logs")\\"
}

suite_jscript() {
  run_script jscript.js "$(winpath "$work/logs")\\"
}

# Our tag parser, called directly, and a foreign one, called by name, read alike.
suite_tagparser() {
  parsed=$work/parsed
  mkdir -p "$parsed/logs"
  cp tests/wine/data/logs/* "$parsed/logs/"
  head=$'x\r\n<TarveskDataLayerLog>\r\n<HEAD>\r\n<DATABASE>OFFLINE</DATABASE>\r\n</HEAD>\r\n<LOGDATA>\r\n'
  action=$'<ACTION Info="UPDATE RECORDID=7">\r\n<TABLE>Kunden</TABLE>\r\n<QueryString>SELECT * FROM Kunden WHERE ID = 7</QueryString>\r\n<TIME>t</TIME>\r\n<FieldName>Ort</FieldName>\r\n<OldValue>K\xf6ln &amp; Bonn</OldValue>\r\n<NewValue>Ulm</NewValue>\r\n</ACTION>\r\n'
  printf '%s%s%s' "$head" "$action" $'</LOGDATA>\r\n</TarveskDataLayerLog>\r\n' >"$parsed/logs/crlf.xml"
  printf '%s%s%s' "$head" "${action//$'\r\n'/$'\n'}" $'</LOGDATA>\n</TarveskDataLayerLog>\n' >"$parsed/logs/lf.xml"
  printf '%s%s%s' "$head" "$action$action" $'</LOGDATA>\r\n</TarveskDataLayerLog>' >"$parsed/logs/open-end.xml"
  for parser in own foreign; do
    [ $parser == foreign ] && { wine regsvr32 /s "$(winpath "$bin/test_tag_parser.dll")" || fail "regsvr32 test_tag_parser"; }
    run_vbs tagparser "$(winpath "$parsed/logs")\\" "$(winpath "$parsed/$parser.txt")" $parser
  done
  wine regsvr32 /s "$(winpath "$bin/TarveskXMLHandler.dll")" || fail "regsvr32 TarveskXMLHandler"
  [ -s "$parsed/own.txt" ] && cmp -s "$parsed/own.txt" "$parsed/foreign.txt" ||
    fail "the foreign tag parser read otherwise: $(diff <(iconv -f UTF-16 "$parsed/own.txt") <(iconv -f UTF-16 "$parsed/foreign.txt") | head -5)"
}

suite_factories() {

  # A component that is not registered: its message once, then the operation fails.
  missing_text="Die Komponente Tarvesk %s konnte nicht geladen werden. Ev. ist diese Software nicht korrekt installiert!"
  # Missing in both bitnesses: Wine would otherwise serve it from the other one's registration
  # through a surrogate process.
  for component in FileManager XMLHandler; do
    for each in 64 32; do
      "${loaders[$each]}" regsvr32 /s /u "$(winpath "${bins[$each]}/Tarvesk$component.dll")"
    done
    run_vbs_answered factories "$work/factory-messages.txt" ok \
      "$(winpath "$work/logs")\\" "${component,,}"
    expected=$(printf "Komponente nicht verfügbar!\t$missing_text" "$component")
    [ "$(cat "$work/factory-messages.txt")" == "$expected" ] ||
      fail "message of the missing $component: $(cat "$work/factory-messages.txt")"
    for each in 64 32; do
      "${loaders[$each]}" regsvr32 /s "$(winpath "${bins[$each]}/Tarvesk$component.dll")" ||
        fail "regsvr32 $component ($each-bit)"
    done
  done
}

# The folder picker shows its dialog in its start folder; cancelled, it chooses nothing.
suite_folderpicker() {
  logs=$(winpath "$work/logs")
  vbs_timeout=60  # a dialog that an answer does not close waits for nobody
  run_vbs_answered folderpicker "$work/picker-messages.txt" cancel "$logs" ""
  [ "$(cut -f1 "$work/picker-messages.txt")" == "Pfad für das oder die Logfiles auswählen" ] ||
    fail "folder dialog: $(cat "$work/picker-messages.txt")"
  run_vbs_answered folderpicker "$work/picker-messages.txt" ok "$logs" "$logs"
  mkdir -p "$work/datalayer-logs"
  TARVESK_DATALAYER_LOGDIR=$(winpath "$work/datalayer-logs") run_vbs_answered folderpicker \
    "$work/picker-messages.txt" ok "" "$(winpath "$work/datalayer-logs")"
  unset vbs_timeout
}

# Undo against SQLite with answered message boxes.
suite_undo() {
  undo=$work/undo
  mkdir -p "$undo/logs" "$undo/changes"
  sqlite3 "$undo/shop.db" <tests/wine/data/undo/shop.sql
  database=$(winpath "$undo/shop.db")
  missing=$(winpath "$undo/none/shop.db")
  for log in log_undo log_zmissing; do
    sed -e "s|@DATABASE@|${database//\\/\\\\}|" -e "s|@MISSING@|${missing//\\/\\\\}|" \
      -e 's/$/\r/' "tests/wine/data/undo/$log.xml.in" | iconv -f UTF-8 -t CP1252 >"$undo/logs/$log.xml"
  done
  TARVESK_DATALAYER_LOGDIR=$(winpath "$undo/changes") run_vbs_answered undo \
    "$undo/messages.txt" yes,ok,no,ok,ok,yes,ok,yes,ok "$(winpath "$undo/logs")\\"
  # The missing database is refused before anything is asked: no message box of its own.
  diff -u tests/wine/data/undo/expected-messages.txt "$undo/messages.txt" || fail "undo messages"
  [ "$(sqlite3 "$undo/shop.db" 'SELECT ID, Ort FROM Kunden ORDER BY ID' | tr '\n' ' ')" == \
    "5|Ulm 7|München 8|Berlin " ] ||
    fail "database after the undos: $(sqlite3 "$undo/shop.db" 'SELECT * FROM Kunden')"
}

# Undo guards: refused queries and fields, exact restores, no lost update.
suite_undo_guard() {
  guard=$work/guard
  mkdir -p "$guard/logs" "$guard/sessions" "$guard/changes"
  sqlite3 "$guard/shop.db" <tests/wine/data/undo/guard.sql
  exact="SELECT ID, typeof(T), hex(T), typeof(R), R, typeof(B), hex(B), typeof(X), hex(X) FROM Werte"
  before=$(sqlite3 "$guard/shop.db" "$exact")
  database=$(winpath "$guard/shop.db")
  sed -e "s|@DATABASE@|${database//\\/\\\\}|" -e 's/$/\r/' tests/wine/data/undo/log_guard.xml.in |
    iconv -f UTF-8 -t CP1252 >"$guard/logs/log_guard.xml"
  TARVESK_DATALAYER_LOGDIR=$(winpath "$guard/changes") run_vbs_answered undo_guard \
    "$guard/messages.txt" yes,ok,yes,ok,yes,ok "$(winpath "$guard/logs")\\" \
    "$(winpath "$guard/sessions")\\" "$database"
  [ "$(grep -c '^Datensatz angelegt' "$guard/messages.txt")" -eq 3 ] ||
    fail "restores of the undo guards: $(cat "$guard/messages.txt")"
  [ "$(sqlite3 "$guard/shop.db" "$exact")" == "$before" ] ||
    fail "restored records differ: $(sqlite3 "$guard/shop.db" "$exact")"
  [ "$(sqlite3 "$guard/shop.db" 'SELECT Ort FROM Kunden')" == "Bonn" ] ||
    fail "a change made meanwhile was overwritten: $(sqlite3 "$guard/shop.db" 'SELECT * FROM Kunden')"
}

# The viewer window, driven through its controls, with the stand-in folder picker.
suite_viewer() {
  gui=$work/gui
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
    "${loaders[$bits]}" "$bin/viewer_driver.exe" test "$(winpath "$gui/logs")" "$database" 2>&1 | tr -d '\r') || true
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
}

# The C++ host, early-bound, in a German and an English locale.
suite_early_bound() {
  local locale half sessionTime
  for locale in "de_DE.UTF-8|1,5|01.12.2026 08:30:00" "en_US.UTF-8|1.5|12/1/2026 8:30:00 AM"; do
    IFS='|' read -r locale half sessionTime <<<"$locale"
    rm -rf "$work/logs" && cp -r tests/wine/data/logs "$work/logs"
    output=$(LANG=$locale LC_ALL=$locale timeout 300 "${loaders[$bits]}" "$bin/early_bound_host.exe" \
      "$(winpath "$work/logs")\\" "$(winpath "$bin/TarveskLogManager.dll")" "$half" "$sessionTime" \
      2>&1 | tr -d '\r') || true
    check_summary "early_bound_host ($locale)" "$output"
  done
}

# logmanager.exe over the COM components.
suite_logmanager_exe() {
  logs=$(winpath "$work/logs")
  listing=$(timeout 120 "${loaders[$bits]}" "$bin/logmanager.exe" files "$logs" 2>/dev/null | tr -d '\r') ||
    fail "logmanager.exe files exited with an error"
  expected=$'1: 01.12.2026 08:30:12: C:\\db\\shop.db (log_a.xml), 2 Aktionen, Benutzer mbauer, Fehler aufgezeichnet\n2: 03.12.2026 14:15:00: OFFLINE (log_b.xml), 1 Aktion, Benutzer Jürgen Weiß'
  [ "$listing" == "$expected" ] || fail "logmanager.exe files: $listing"
  details=$(timeout 120 "${loaders[$bits]}" "$bin/logmanager.exe" show "$logs" 1 1 2>/dev/null | tr -d '\r') ||
    fail "logmanager.exe show exited with an error"
  expected=$'Position 1: 01.12.2026 08:31:40 UPDATE Kunden ID 7\nACTION: UPDATE\nFieldName: Ort\nOldValue: München\nNewValue: Köln\nRECORDID: 7'
  [ "$details" == "$expected" ] || fail "logmanager.exe show: $details"
  status=0
  timeout 120 "${loaders[$bits]}" "$bin/logmanager.exe" files "$logs\\missing" >/dev/null 2>&1 || status=$?
  [ "$status" -eq 1 ] || fail "logmanager.exe on a missing folder exits with $status, not 1"
}


# A fresh prefix with both bitnesses registered side by side.
step_prefix() {
  fresh_prefix "$run" win64
  echo "-- both bitnesses registered side by side"
  for bits in 64 32; do
    use_bits $bits
    regsvr register
  done
  for bits in 64 32; do
    use_bits $bits
    check_view present
    check_shared present
    key_exists "$lib_key\\win$bits" || fail "type library not registered for win$bits"
    threading=$(wine reg query 'HKCR\CLSID\{CEC52904-0D83-40AD-AFD2-6F3121431F7B}\InprocServer32' \
      /v ThreadingModel 2>/dev/null | tr -d '\r')
    [[ $threading == *Apartment* ]] || fail "FileSet is not registered apartment-threaded"
  done
}

step_registration() {
  export WINEPREFIX=$run/prefix WINEARCH=win64
  echo "-- unregistering the 32-bit DLLs leaves the 64-bit ones working"
  use_bits 32
  regsvr unregister
  check_view absent
  key_exists "$lib_key\\win32" && fail "type library still registered for win32"
  use_bits 64
  check_view present
  check_shared present
  key_exists "$lib_key\\win64" || fail "type library for win64 lost"
  fresh_work
  run_vbs fileset "$(winpath "$work/logs")\\"

  echo "-- a 32-bit registration from a folder with spaces and non-ASCII letters"
  use_bits 32
  installed="$run/drive/Programme (x86)/Tarvesk Prüfung Ärger"
  mkdir -p "$installed"
  cp "$bin"/*.dll "$installed/"
  regsvr register "$installed"
  server=$(wine reg query 'HKCR\CLSID\{CEC52904-0D83-40AD-AFD2-6F3121431F7B}\InprocServer32' /ve 2>/dev/null |
    tr -d '\r' | sed -n 's/.*REG_SZ *//p' | iconv -f CP437 -t UTF-8)
  [ "$server" == "$(winpath "$installed/TarveskLogManager.dll")" ] ||
    fail "InprocServer32 of FileSet: [$server]"
  fresh_work
  run_vbs fileset "$(winpath "$work/logs")\\"

  echo "-- unregistering the 64-bit DLLs leaves the 32-bit ones working"
  use_bits 64
  regsvr unregister
  check_view absent
  use_bits 32
  check_view present
  check_shared present
  fresh_work
  run_vbs fileset "$(winpath "$work/logs")\\"

  echo "-- unregistering both leaves no key of ours"
  regsvr unregister "$installed"
  for bits in 32 64; do
    use_bits $bits
    check_view absent
    check_shared absent
  done
}

# Runs a setup program or uninstaller (32-bit programs) silently and waits for the
# uninstaller's copy of itself, which it starts from the temp folder and does not wait for.
run_setup() {
  timeout 300 /usr/lib/wine/wine "$@" /S || fail "$(basename "$1") /S exited with $?"
  local waited=0
  sleep 1
  while pgrep -f '_[?]=' >/dev/null && [ $waited -lt 120 ]; do  # the copy runs with _?=FOLDER
    sleep 1
    waited=$((waited + 1))
  done
}
# The value of a value name of a key in the current bitness's view.
reg_value() {
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}

# installed ARCH FOLDER: every public class created and a folder listed from the script host
# of the bitness, the component loaded from FOLDER (a Linux path in the prefix).
installed() {
  local folder=$1
  fresh_work
  run_vbs installed "$(winpath "$work/logs")\\"
  local server
  server=$(wine reg query 'HKCR\CLSID\{CEC52904-0D83-40AD-AFD2-6F3121431F7B}\InprocServer32' /ve \
    2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
  [ "${server,,}" == "${folder,,}\\tarvesklogmanager.dll" ] || fail "FileSet is served by [$server]"
}

step_installer() {
  echo "== the setup program"
  setup=$(scripts/make-installer.sh)
  older=$root/build/installer/TarveskLogManager-1.0.0-setup.exe
  scripts/make-installer.sh --version 1.0.0 --out "$older" >/dev/null
  uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TarveskLogManager'
  menu_entry='ProgramData/Microsoft/Windows/Start Menu/Programs/Tarvesk/LogManager.lnk'

  fresh_prefix "$root/build/installer/wine64" win64
  drive=$WINEPREFIX/drive_c
  run_setup "$older"
  run_setup "$setup"
  use_bits 64
  [ "$(reg_value "$uninstall_key" DisplayVersion)" == "$(basename "$setup" | sed 's/.*-\([0-9.]*\)-setup.exe/\1/')" ] ||
    fail "the newer setup did not upgrade: DisplayVersion $(reg_value "$uninstall_key" DisplayVersion)"
  for name in DisplayName Publisher EstimatedSize UninstallString; do
    [ -n "$(reg_value "$uninstall_key" "$name")" ] || fail "Add/Remove Programs entry lacks $name"
  done
  [ -f "$drive/$menu_entry" ] || fail "no Start-menu entry"
  for bits in 64 32; do
    use_bits $bits
    [ $bits == 64 ] && folder='C:\Program Files\Tarvesk\LogManager' ||
      folder='C:\Program Files (x86)\Tarvesk\LogManager'
    installed "$folder"
  done
  run_setup "$drive/Program Files/Tarvesk/LogManager/uninstall.exe"
  for bits in 64 32; do
    use_bits $bits
    check_view absent
    check_shared absent
  done
  key_exists "$uninstall_key" && fail "the Add/Remove Programs entry is left"
  for left in "Program Files/Tarvesk" "Program Files (x86)/Tarvesk" "$menu_entry"; do
    [ -e "$drive/$left" ] && fail "left after uninstalling: C:/$left"
  done

  echo "-- a 32-bit Windows: only the 32-bit part"
  fresh_prefix "$root/build/installer/wine32" win32
  drive=$WINEPREFIX/drive_c
  run_setup "$setup"
  installed 'C:\Program Files\Tarvesk\LogManager'
  run_setup "$drive/Program Files/Tarvesk/LogManager/uninstall.exe"
  check_view absent
  check_shared absent
  [ -e "$drive/Program Files/Tarvesk" ] && fail "left after uninstalling: C:/Program Files/Tarvesk"
  cleanup
}

case "${1:-}" in
  prefix | registration | installer) step_$1 ;;
  stop)
    export WINEPREFIX=$run/prefix
    cleanup
    ;;
  64 | 32)
    [ -n "${2:-}" ] && declare -F "suite_$2" >/dev/null || { echo "no suite [${2:-}]" >&2; exit 2; }
    export WINEPREFIX=$run/prefix WINEARCH=win64
    [ -f "$WINEPREFIX/system.reg" ] || { echo "no prefix: run $0 prefix first" >&2; exit 1; }
    use_bits "$1"
    fresh_work
    "suite_$2"
    ;;
  *)
    echo "usage: $0 prefix | registration | installer | 64|32 SUITE" >&2
    exit 2
    ;;
esac
[ "$failed" -eq 0 ]
