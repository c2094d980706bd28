#!/usr/bin/env bash
# Installs the Debian packages the builds need, only those that are missing.
# Usage: scripts/install-deps.sh [native|windows|all]   (default: native)
set -euo pipefail
what=${1:-native}

native=(cmake g++ make libgtest-dev libgmock-dev nlohmann-json3-dev libsqlite3-dev sqlite3)
windows=(g++-mingw-w64-x86-64 mingw-w64-tools wine wine64 libwine-dev xvfb xdotool imagemagick tcl
  cmake dpkg-dev gcc make sqlite3 nlohmann-json3-dev)

case "$what" in
  native) wanted=("${native[@]}") ;;
  windows) wanted=("${windows[@]}") ;;
  all) wanted=("${native[@]}" "${windows[@]}") ;;
  *) echo "usage: $0 [native|windows|all]" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
