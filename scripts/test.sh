#!/usr/bin/env bash
# Installs what is missing, builds keloutil and runs every test: the native
# suite in release, then again under AddressSanitizer and
# UndefinedBehaviorSanitizer. Any failure fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

for preset in release asan; do
    echo "=== $preset: build and test"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" --parallel "$(nproc)"
done
