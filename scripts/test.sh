#!/usr/bin/env bash
# Installs what is missing, builds keloutil and runs every test: the Linux
# suite natively (release, then under AddressSanitizer and
# UndefinedBehaviorSanitizer), the i686 Windows DLL built with its exports
# checked, and the x86_64 Windows DLL's suite under Wine. Any failure fails
# the script.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh native windows

for preset in release asan; do
    echo "=== Linux, $preset: build and test"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" --parallel "$(nproc)"
done

echo "=== Windows i686 DLL: build, check the exports (wine64 cannot run 32-bit programs)"
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86
ctest --preset windows-x86

echo "=== Windows x86_64 DLL: build, and test under Wine"
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64
source scripts/wine.sh
trap wine_stop EXIT
wine_start
ctest --preset windows-x64 --parallel "$(nproc)"
scripts/compare-kelo.sh "$PWD/build/release/bin/kelo" "$PWD/build/windows-x64/bin/kelo.exe"
wine_stop
