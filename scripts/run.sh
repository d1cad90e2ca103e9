#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Quick start: installs what is missing of what building needs, builds
# keloutil and the kelo tool (no tests, no benchmarks: the quickstart
# preset), and runs kelo on the built-in example (examples/greeting.txt).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh main
cmake --preset quickstart >/dev/null
cmake --build --preset quickstart

kelo=build/quickstart/bin/kelo
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

"$kelo"
echo
echo "\$ kelo version"
"$kelo" version
echo
echo "\$ kelo convert --from utf-8 --to utf-16 examples/greeting.txt greeting.utf16"
"$kelo" convert --from utf-8 --to utf-16 examples/greeting.txt "$out/greeting.utf16"
echo "first bytes (byte-order mark, then 'Hello'):"
od -An -tx1 -N12 "$out/greeting.utf16"
echo "\$ kelo convert --from utf-16 --to utf-8 greeting.utf16"
"$kelo" convert --from utf-16 --to utf-8 "$out/greeting.utf16" | tee "$out/greeting.txt"
cmp -s examples/greeting.txt "$out/greeting.txt" && echo "Round trip: identical to examples/greeting.txt"
echo
echo "\$ kelo info"
"$kelo" info
