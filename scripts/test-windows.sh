#!/usr/bin/env bash
# The Windows builds and their tests under Wine: builds the windows (x86_64) and windows32
# (i686) presets, then runs the Wine suites of both bitnesses and the setup program's check
# through CTest (ctest --preset windows; the steps are in tests/wine/wine.sh). Further
# arguments go to ctest, e.g. -R wine32.undo. Non-zero on any failure.
#   scripts/test-windows.sh [--no-build] [CTEST-ARGUMENTS...]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" == --no-build ]; then
  shift
else
  scripts/install-deps.sh windows
  scripts/build-sqlite-windows.sh
  for preset in windows windows32; do
    echo "-- $preset build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j"$(nproc)"
  done
fi
ctest --preset windows "$@"
