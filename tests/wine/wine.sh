#!/usr/bin/env bash
# The Wine steps CTest runs (tests/CMakeLists.txt); both bitnesses side by side in one 64-bit
# prefix, build/wine, each DLL registered by the regsvr32 of its bitness. Non-zero on a failure.
#   wine.sh prefix        a fresh prefix, both bitnesses registered, their keys checked
#   wine.sh 64|32 SUITE   one suite through the script host and loader of that bitness
#   wine.sh registration  one bitness unregistered leaves the other working, a path with umlauts
#   wine.sh stop          ends the prefix's Wine server (it saves the registry then)
#   wine.sh installer     the setup program in fresh 64- and 32-bit prefixes, upgrade, uninstall
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

# Wine's server and the services it starts outlive a step and would hold its output open:
# CTest, reading it through a pipe, would wait for them. The step writes into a file instead.
if [ -z "${WINE_SH_STEP:-}" ]; then
  output=$(mktemp)
  WINE_SH_STEP=1 "$root/tests/wine/wine.sh" "$@" >"$output" 2>&1 && status=0 || status=$?
  cat "$output" && rm -f "$output" && exit "$status"
fi

# Wine through the loader of the bitness meant: `wine` alone picks the 32-bit system programs
# (cscript, reg, regsvr32) once 32-bit Wine is installed.
declare -A loaders=([64]=/usr/lib/wine/wine64 [32]=/usr/lib/wine/wine)
declare -A architectures=([64]=AMD64 [32]=x86)
declare -A bins=([64]=$root/build/windows/bin [32]=$root/build/windows32/bin)
wineserver=/usr/lib/wine/wineserver64
run=$root/build/wine
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" LANG=C.UTF-8 DISPLAY=
unset WAYLAND_DISPLAY
dlls=(TarveskLogManager TarveskXMLHandler TarveskFileManager TarveskDataLayer)
for dll in "${bins[@]/%//TarveskLogManager.dll}"; do [ -e "$dll" ] || { echo "missing $dll" >&2; exit 1; }; done

use_bits() { bits=$1 bin=${bins[$1]}; }  # the bitness of the next wine calls and its build
wine() { "${loaders[$bits]}" "$@"; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }  # Wine maps / to drive Z:
failed=0
fail() { echo "FAIL ($bits-bit): $*" && failed=1; }
expect() { [ "$2" == "$3" ] || fail "$1: [$2]"; }  # expect WHAT ACTUAL EXPECTED
# Ends the prefix's Wine server and waits until it is gone (it saves the registry then).
cleanup() { "$wineserver" -k 2>/dev/null || true; "$wineserver" -w 2>/dev/null || true; }

# fresh_prefix FOLDER win64|win32: made the current prefix, one server kept for the whole run.
fresh_prefix() {
  echo "-- fresh Wine prefix ($2)"
  cleanup
  rm -rf "$1" && mkdir -p "$1"
  export WINEPREFIX=$1/prefix WINEARCH=$2
  [ "$2" == win64 ] && use_bits 64 || use_bits 32
  wine wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  cleanup
  "$wineserver" -p  # kept between the steps until the stop step ends it
}

# Our keys from the type libraries' sources; classes and a library's platform subkey are per view.
classes=() libs=() shared=()
for idl in com/kit/Collection.idl com/{logmanager,components}/Tarvesk*.idl; do
  while read -r uuid kind name attributes; do
    case $kind in
      library) lib=$name libs+=("HKCR\\TypeLib\\{$uuid}") ;;
      interface) shared+=("HKCR\\Interface\\{$uuid}") ;;
      *) [[ $attributes == *noncreatable* ]] || classes+=("HKCR\\CLSID\\{$uuid}") shared+=("HKCR\\$lib.$name") ;;
    esac
  done < <(tr '\n' ' ' <"$idl" | grep -oE 'uuid\([^]]*\] *(library|interface|coclass) \w+' |
    sed -E 's/uuid\(([^)]*)\)(.*)\] *(\w+) (\w+)/\1 \3 \4 \2/')
done
key_exists() { wine reg query "$1" >/dev/null 2>&1; }

# regsvr [/u] DLL...: each DLL (path without .dll) through the current bitness's regsvr32.
regsvr() {
  local flag=() dll
  [ "$1" == /u ] && flag=(/u) && shift
  for dll; do wine regsvr32 /s "${flag[@]}" "$(winpath "$dll.dll")" || fail "regsvr32 ${flag[*]} $dll"; done
}

# check_keys present|absent view|all: the current bitness's view has, or lacks, our keys.
check_keys() {
  local key state keys=("${classes[@]}" "${libs[@]/%/\\1.0\\0\\win$bits}")
  [ "$2" == view ] || keys+=("${libs[@]}" "${shared[@]}")
  for key in "${keys[@]}"; do
    # A fresh prefix has once answered the first query of a run with nothing: asked again.
    key_exists "$key" || { [ "$1" == present ] && sleep 2 && key_exists "$key"; } && state=present || state=absent
    [ "$state" == "$1" ] || fail "$key: $state, not $1"
  done
}

# A suite's output must end in a summary of some checks, none failed (cscript's exit code lies).
check_summary() {
  echo "$2" | grep -v '^SUMMARY' || true
  local summary=$(echo "$2" | grep '^SUMMARY' | tail -1)
  echo "$1 ($bits-bit): ${summary:-no summary}"
  [[ $summary =~ ^SUMMARY\ checks=([0-9]+)\ failures=0$ ]] && [ "${BASH_REMATCH[1]}" -gt 0 ] ||
    fail "$1"
}

# script FILE ARG...: a suite (.vbs between SuiteStart.vbs and SuiteEnd.vbs) through cscript.
script() {
  local file=$1 output attempt parts=("$1")
  shift
  [[ $file == *.js ]] || parts=(SuiteStart.vbs "$file" SuiteEnd.vbs)
  (cd tests/wine && cat "${parts[@]}") | iconv -f UTF-8 -t CP1252 >"$work/$file"
  # Wine's start.exe now and then fails to start cscript at all: the suite is started again.
  for attempt in 1 2; do
    output=$(timeout "${vbs_timeout:-300}" "${loaders[$bits]}" cscript //nologo "$(winpath "$work/$file")" "$@" 2>&1 |
      iconv -f CP437 -t UTF-8 | tr -d '\r') || true
    [[ $output == *"ShellExecuteEx failed"* && $output != *PROCESS* ]] || break
    echo "$file (attempt $attempt): cscript did not start: $output"
  done
  [[ $output == *"PROCESS ${architectures[$bits]}"* ]] || fail "$file ran in a process of [$(grep PROCESS <<<"$output")]"
  check_summary "$file" "$(echo "$output" | grep -v '^PROCESS ')"
}

# answered ANSWERS COMMAND...: the message boxes of COMMAND answered (ok,yes,...), in work/messages.txt.
answered() {
  local answers=$1 answerer
  shift
  rm -f "$work/messages.txt" "$work/stop"
  wine "$bin/dialog_answerer.exe" "$(winpath "$work/messages.txt")" "$(winpath "$work/stop")" 240 ${answers//,/ } &
  answerer=$!
  "$@"
  touch "$work/stop"
  wait "$answerer" || true
  touch "$work/messages.txt"
}

# A fresh work folder for the current bitness with a copy of the test logs ($logs: its path).
fresh_work() {
  work=${WINEPREFIX%/prefix}/work$bits
  rm -rf "$work" && mkdir -p "$work"
  cp -r tests/wine/data/logs "$work/logs"
  logs=$(winpath "$work/logs")
}

# undo_data "SQL..." LOG...: work/undo/shop.db, the logs (CR LF, ANSI) naming it, change logs kept.
undo_data() {
  local sql log
  mkdir -p "$work/undo/logs" "$work/undo/changes"
  for sql in $1; do sqlite3 "$work/undo/shop.db" <"tests/wine/data/undo/$sql.sql"; done
  shift
  database=$(winpath "$work/undo/shop.db")
  for log; do
    sed -e "s|@DATABASE@|${database//\\/\\\\}|" -e 's/$/\r/' "tests/wine/data/undo/$log.xml.in" |
      iconv -f UTF-8 -t CP1252 >"$work/undo/logs/$log.xml"
  done
  export TARVESK_DATALAYER_LOGDIR=$(winpath "$work/undo/changes")
}
customers() { sqlite3 "$work/undo/shop.db" 'SELECT ID, Ort FROM Kunden ORDER BY ID' | tr '\n' ' '; }

suite_fileset() { script fileset.vbs "$logs\\"; }
suite_jscript() { script jscript.js "$logs\\"; }

# Our tag parser and a foreign one read the test logs and those in data/tagparser alike.
suite_tagparser() {
  cp tests/wine/data/tagparser/*.xml "$work/logs/"
  script tagparser.vbs "$logs\\" "$(winpath "$work/own.txt")" own
  regsvr "$bin/test_tag_parser"
  script tagparser.vbs "$logs\\" "$(winpath "$work/foreign.txt")" foreign
  regsvr "$bin/TarveskXMLHandler"
  [ -s "$work/own.txt" ] && cmp -s "$work/own.txt" "$work/foreign.txt" ||
    fail "the foreign tag parser read otherwise: $(diff <(iconv -f UTF-16 "$work/own.txt") <(iconv -f UTF-16 "$work/foreign.txt") | head -5)"
}

# The file-system component unregistered in both bitnesses (Wine would use the other through a
# surrogate): its message once, then the operation fails.
suite_factories() {
  local mine=$bits
  for bits in 64 32; do use_bits $bits && regsvr /u "$bin/TarveskFileManager"; done
  use_bits $mine
  answered ok script factories.vbs "$logs\\"
  expect "message of the missing component" "$(cat "$work/messages.txt")" "Komponente nicht verfügbar!"$'\t'"Die Komponente Tarvesk FileManager konnte nicht geladen werden. Ev. ist diese Software nicht korrekt installiert!"
  for bits in 64 32; do use_bits $bits && regsvr "$bin/TarveskFileManager"; done
}

suite_folderpicker() {
  vbs_timeout=60  # a dialog that an answer does not close waits for nobody
  answered cancel script folderpicker.vbs "$logs" ""
  expect "folder dialog" "$(cut -f1 "$work/messages.txt")" "Pfad für das oder die Logfiles auswählen"
  answered ok script folderpicker.vbs "$logs" "$logs"
  TARVESK_DATALAYER_LOGDIR=$(winpath "$work") answered ok script folderpicker.vbs "" "$(winpath "$work")"
}

# Undo against SQLite: the boxes answered in order, the records restored byte for byte.
suite_undo() {
  undo_data "shop guard" log_undo log_guard
  local before exact="SELECT ID, typeof(T), hex(T), typeof(R), R, typeof(B), hex(B), typeof(X), hex(X) FROM Werte"
  before=$(sqlite3 "$work/undo/shop.db" "$exact")
  mkdir "$work/sessions"
  answered yes,ok,no,ok,ok,yes,ok,yes,ok,yes,ok,yes,ok,yes,ok script undo.vbs \
    "$(winpath "$work/undo/logs")\\" "$(winpath "$work/sessions")\\" "$database"
  diff -u tests/wine/data/undo/expected-messages.txt <(head -9 "$work/messages.txt") || fail "undo messages"
  expect "restored records" "$(sqlite3 "$work/undo/shop.db" "$exact")" "$before"
  expect "database after the undos" "$(customers)" "5|Ulm 7|München 8|Berlin "
}

# host NAME PROGRAM ARG...: a test program of the current bitness's build; checks its summary.
host() { check_summary "$1" "$(timeout 300 "${loaders[$bits]}" "$bin/${@:2}" 2>&1 | tr -d '\r')"; }

# The viewer window with the stand-in folder picker; its undo says yes, then no.
suite_viewer() {
  undo_data shop log_undo
  cp tests/wine/data/logs/* "$work/undo/logs/"
  regsvr "$bin/test_folder_picker"
  answered yes,ok,no,ok host viewer_driver viewer_driver.exe test \
    "$(winpath "$work/undo/logs")" "$database"
  regsvr "$bin/TarveskFileManager"
  expect "database after the undo from the window" "$(customers)" "7|München 8|Berlin 9|Trier "
}

# The C++ host, early-bound, in a German and an English locale; big: a log of 4,000 actions.
suite_early_bound() {
  local locale half time
  mkdir "$work/big"
  { scripts/bench-log.sh /dev/stdout 2>/dev/null | head -n 32007 || true
    printf '</LOGDATA>\r\n</TarveskDataLayerLog>\r\n'; } >"$work/big/big.xml"
  for locale in "de_DE.UTF-8|1,5|01.12.2026 08:30:00" "en_US.UTF-8|1.5|12/1/2026 8:30:00 AM"; do
    IFS='|' read -r locale half time <<<"$locale"
    LANG=$locale LC_ALL=$locale host "early_bound_host ($locale)" early_bound_host.exe "$logs\\" \
      "$(winpath "$work/big")\\" "$(winpath "$bin/TarveskLogManager.dll")" "$half" "$time"
  done
}

# logmanager.exe over the COM components: a listing in the console.
suite_logmanager_exe() {
  local listing
  listing=$(timeout 120 wine "$bin/logmanager.exe" files "$logs" 2>/dev/null | tr -d '\r') ||
    fail "logmanager.exe files exited with an error"
  expect "logmanager.exe files" "$listing" $'1: 01.12.2026 08:30:12: C:\\db\\shop.db (log_a.xml), 2 Aktionen, Benutzer mbauer, Fehler aufgezeichnet\n2: 03.12.2026 14:15:00: OFFLINE (log_b.xml), 1 Aktion, Benutzer Jürgen Weiß'
}

# The current bitness works from FOLDER (a Windows path), apartment-threaded: the script suite.
works_from() {
  local values
  values=$(wine reg query "${classes[0]}\\InprocServer32" 2>/dev/null | tr -d '\r' | tr -s ' ' | iconv -f CP437 -t UTF-8 | paste -sd' ')
  [[ ${values,,} == *"reg_sz ${1,,}\\tarvesklogmanager.dll"* && $values == *"ThreadingModel REG_SZ Apartment"* ]] ||
    fail "LogManager is served otherwise: [$values]"
  fresh_work
  suite_fileset
}

step_prefix() {
  fresh_prefix "$run" win64
  for bits in 64 32; do use_bits $bits && regsvr "${dlls[@]/#/$bin/}"; done
  for bits in 64 32; do use_bits $bits && check_keys present all; done
}

unregistered() {  # BITS FOLDER OTHER-BITS OTHER-FOLDER
  echo "-- unregistering the $1-bit DLLs leaves the $3-bit ones working"
  use_bits "$1"
  regsvr /u "${dlls[@]/#/$2/}"
  check_keys absent view
  use_bits "$3"
  check_keys present all
  works_from "$(winpath "$4")"
}

step_registration() {
  export WINEPREFIX=$run/prefix WINEARCH=win64
  local installed="$run/drive/Programme (x86)/Tarvesk Prüfung Ärger"
  unregistered 32 "${bins[32]}" 64 "${bins[64]}"
  echo "-- a 32-bit registration from a folder with spaces and non-ASCII letters"
  use_bits 32
  mkdir -p "$installed" && cp "$bin"/*.dll "$installed/"
  regsvr "${dlls[@]/#/$installed/}"
  works_from "$(winpath "$installed")"
  unregistered 64 "${bins[64]}" 32 "$installed"
  echo "-- unregistering both leaves no key of ours"
  regsvr /u "${dlls[@]/#/$installed/}"
  for bits in 32 64; do use_bits $bits && check_keys absent all; done
}

# A setup program or uninstaller run silently; waits for the copy the uninstaller starts of itself.
run_setup() {
  timeout 300 /usr/lib/wine/wine "$@" /S || fail "$(basename "$1") /S exited with $?"
  sleep 1  # the copy runs with _?=FOLDER
  timeout 120 bash -c "while pgrep -f '_[?]=' >/dev/null; do sleep 1; done" || true
}
reg_value() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }

# installed ARCH "SETUP..." BITS=FOLDER...: the setup programs in turn in a fresh prefix.
installed() {
  local setups=($2) arch=$1 pair setup uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TarveskLogManager'
  shift 2
  fresh_prefix "$root/build/installer/$arch" "$arch"
  drive=$WINEPREFIX/drive_c
  for setup in "${setups[@]}"; do run_setup "$setup"; done
  expect "DisplayVersion" "$(reg_value "$uninstall_key" DisplayVersion)" "$(sed 's/.*-\([0-9.]*\)-setup.exe/\1/' <<<"$setup")"
  for name in DisplayName Publisher EstimatedSize UninstallString; do
    [ -n "$(reg_value "$uninstall_key" "$name")" ] || fail "Add/Remove Programs entry lacks $name"
  done
  [ -f "$drive/$menu_entry" ] || fail "no Start-menu entry"
  for pair; do use_bits "${pair%%=*}"; works_from "${pair#*=}"; done
  run_setup "$drive/Program Files/Tarvesk/LogManager/uninstall.exe"
  for pair; do use_bits "${pair%%=*}"; check_keys absent all; done
  ! key_exists "$uninstall_key" || fail "the Add/Remove Programs entry is left"
  for left in "Program Files/Tarvesk" "Program Files (x86)/Tarvesk" "$menu_entry"; do
    [ ! -e "$drive/$left" ] || fail "left after uninstalling: C:/$left"
  done
}

step_installer() {
  echo "== the setup program: an upgrade in a 64-bit Windows, a 32-bit Windows"
  local setup older=$root/build/installer/TarveskLogManager-1.0.0-setup.exe
  setup=$(scripts/make-installer.sh)
  scripts/make-installer.sh --version 1.0.0 --out "$older" >/dev/null
  menu_entry='ProgramData/Microsoft/Windows/Start Menu/Programs/Tarvesk/LogManager.lnk'
  installed win64 "$older $setup" '64=C:\Program Files\Tarvesk\LogManager' \
    '32=C:\Program Files (x86)\Tarvesk\LogManager'
  installed win32 "$setup" '32=C:\Program Files\Tarvesk\LogManager'
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
  *) grep '^#   wine.sh' "$0" >&2 && exit 2 ;;
esac
[ "$failed" -eq 0 ]
