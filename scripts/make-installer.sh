#!/usr/bin/env bash
# Makes the setup program dist/TarveskLogManager-<version>-setup.exe with NSIS (makensis)
# from both Windows builds; builds what is missing first. The version is the project's
# (CMakeLists.txt). Prints the setup program's path.
#   scripts/make-installer.sh [--version X.Y.Z --out FILE]   (another version: for upgrade tests)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
version=$(sed -n 's/^project(TarveskLogManager VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
out=
while [ $# -gt 0 ]; do
  case "$1" in
    --version) version=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "usage: $0 [--version X.Y.Z --out FILE]" >&2; exit 2 ;;
  esac
done
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "no version X.Y.Z: [$version]" >&2; exit 1; }

scripts/install-deps.sh windows >&2
for preset in windows windows32; do
  bin=$root/build/$preset/bin
  if [ ! -f "$bin/TarveskLogManager.dll" ] || [ ! -f "$bin/logmanager.exe" ]; then
    scripts/build-sqlite-windows.sh >&2
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j"$(nproc)" >&2
  fi
done

out=${out:-$root/dist/TarveskLogManager-$version-setup.exe}
mkdir -p "$(dirname "$out")"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DBIN64="$root/build/windows/bin" \
  -DBIN32="$root/build/windows32/bin" -DOUTFILE="$out" installer/TarveskLogManager.nsi >&2
echo "$out"
