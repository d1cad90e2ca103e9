#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds keloutil and runs every test: the Linux
# suite natively (release, then under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the conversions' portable path), a short run of each fuzz target (when clang
# can be had), the Windows DLLs' suites under Wine (x86_64 under 64-bit Wine;
# i686 under 32-bit Wine where this machine can run 32-bit programs, else
# built with its exports checked), and every kelo command compared across the
# builds. Any failure fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh native windows

for preset in release asan; do
    echo "=== Linux, $preset: build and test"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" --parallel "$(nproc)"
done

# The i686 DLL's conversions take the portable path (no SSE2), which Wine
# here cannot run; it is held to the per-character path natively.
echo "=== Linux, the conversions' portable path: build and test"
cmake --preset portable >/dev/null
cmake --build --preset portable
ctest --preset portable --parallel "$(nproc)"

# New inputs go to a scratch directory, so the committed seeds stay as they are.
if scripts/install-deps.sh fuzz && command -v clang++ >/dev/null; then
    echo "=== Fuzz targets: 15 s of each, from its seed corpus"
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz
    for target in build/fuzz/bin/*_fuzz; do
        name=$(basename "$target")
        rm -rf "build/fuzz/new/$name" && mkdir -p "build/fuzz/new/$name"
        if ! "$target" -max_total_time=15 -timeout=10 -artifact_prefix="build/fuzz/$name-" \
            "build/fuzz/new/$name" "fuzz/corpus/$name" >"build/fuzz/$name.log" 2>&1; then
            tail -n 60 "build/fuzz/$name.log"
            echo "$name failed; the input that fails is build/fuzz/$name-*" >&2
            exit 1
        fi
        echo "$name: $(grep -E '^Done' "build/fuzz/$name.log")"
    done
else
    echo "=== Fuzz targets skipped: clang and libFuzzer are not installed (scripts/install-deps.sh fuzz)"
fi

source scripts/wine.sh
trap 'for build in i686 x86_64; do wine_use "$build"; wine_stop; done' EXIT
# A Wine program now and then ends at once, without output, when many start
# together (seen about once in two runs of the suite, each time another
# test); a test that fails that way is run a second time.
wine_ctest() { ctest --preset "$1" --parallel "$(nproc)" --repeat until-pass:2; }

echo "=== Windows x86_64 DLL: build, and test under Wine"
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64
wine_use x86_64
wine_start
wine_ctest windows-x64
compared=(linux="$PWD/build/release/bin/kelo" x86_64="$PWD/build/windows-x64/bin/kelo.exe")

cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86
if [ -x /usr/lib/wine/wine ] && scripts/can-run-32bit.sh; then
    echo "=== Windows i686 DLL: test under 32-bit Wine"
    wine_use i686
    wine_start
    wine_ctest windows-x86-wine
    compared+=(i686="$PWD/build/windows-x86/bin/kelo.exe")
else
    echo "=== Windows i686 DLL: built, exports checked (this machine cannot run 32-bit programs, so no Wine can)"
    ctest --preset windows-x86
fi

echo "=== kelo: every command compared across the builds"
scripts/compare-kelo.sh "${compared[@]}"
