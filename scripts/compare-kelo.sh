#!/usr/bin/env bash
# Checks that the Linux kelo and the Windows kelo.exe (under Wine) convert
# the same UTF-8 file into byte-identical UTF-16 files, and back.
# Usage: scripts/compare-kelo.sh LINUX_KELO WINDOWS_KELO   (with scripts/wine.sh sourced)
set -euo pipefail
linux_kelo=$1
windows_kelo=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/greeting.txt "$work/input.txt"
cd "$work"

for encoding in utf-16le utf-16 utf-16be utf-32; do
    "$linux_kelo" convert --from utf-8 --to "$encoding" input.txt linux.out
    "$WINE" "$windows_kelo" convert --from utf-8 --to "$encoding" input.txt windows.out
    cmp linux.out windows.out
    "$linux_kelo" convert --from "$encoding" --to utf-8 windows.out linux.back
    "$WINE" "$windows_kelo" convert --from "$encoding" --to utf-8 linux.out windows.back
    cmp input.txt linux.back
    cmp input.txt windows.back
    echo "kelo and kelo.exe agree on $encoding ($(stat -c %s linux.out) bytes), and back"
done
