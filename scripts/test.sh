#!/usr/bin/env bash
# Every test: installs what is missing, builds the host, sanitizer and
# win64 builds, and runs the host tests, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the fuzz targets
# (scripts/fuzz.sh), and the win64 tests under Wine in a private X display.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh all

echo "== host"
cmake --preset host
cmake --build --preset host
ctest --preset host

echo "== static checks"
scripts/check-static.sh

echo "== host with sanitizers"
cmake --preset host-asan
cmake --build --preset host-asan
ctest --preset host-asan

echo "== fuzz targets (libFuzzer, about 30 seconds each)"
scripts/fuzz.sh

echo "== win64 under Wine"
cmake --preset win64
cmake --build --preset win64
source scripts/wine-env.sh
start_wine_display build/win64
ctest --preset win64
