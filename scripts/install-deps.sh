#!/usr/bin/env bash
# Installs the Debian packages the builds need, only those that are missing.
# Usage: scripts/install-deps.sh [native|windows|all]   (default: native)
#   native   the native build, its tests and the fuzz targets (clang)
#   windows  both Windows builds (x86_64 and i686), Wine in both bitnesses with its fonts,
#            the installer (NSIS) and the tools of the GUI tests; adds the i386 architecture
set -euo pipefail
what=${1:-native}

native=(cmake g++ make libgtest-dev libgmock-dev nlohmann-json3-dev libsqlite3-dev sqlite3
  clang libclang-rt-14-dev)
# widl is in wine64-tools; mingw-w64-tools has only the prefixed x86_64 one. wine32:i386
# runs the 32-bit programs; fonts-wine gives captions and titles real letters.
windows=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools wine wine64
  wine32:i386 wine64-tools libwine-dev fonts-wine nsis xvfb xdotool imagemagick tcl
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
if [[ " ${missing[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
