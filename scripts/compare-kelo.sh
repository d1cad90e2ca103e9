#!/usr/bin/env bash
# Checks that the Linux kelo and the Windows kelo.exe (under Wine) convert
# the same UTF-8 file into byte-identical UTF-16 files, and back, and that
# with the same custom environment file they give the same kelo info --json
# (all but the file's own path and the per-user folder, which are each
# platform's own).
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

# One custom environment file for both platforms, with the same keys for each.
keys='<KEY ID="KELO_COMMON_BIN_LOCATION"><STRING>$KELO_ROOT\bin</STRING></KEY>
  <KEY ID="KELO_COMMON_LOCALIZED_DATA_LOCATION"><STRING>D:/env</STRING></KEY>
  <KEY ID="KELO_APPLICATION_ERROR_LOG_FILE"><STRING>X:\logs\errors.log</STRING></KEY>'
printf '<KELOCUSTOMENV>\n  <PLATFORM OS="Linux">%s</PLATFORM>\n  <PLATFORM OS="Windows">%s</PLATFORM>\n</KELOCUSTOMENV>\n' \
    "$keys" "$keys" > env.xml
platform_free() { grep -v -e '"file":' -e '"local_user_data":'; }
KELO_ROOT='C:\kelo' NORVAXIS_KELO_CUSTOM_ENV="$work/env.xml" "$linux_kelo" info --json | platform_free > linux.json
KELO_ROOT='C:\kelo' NORVAXIS_KELO_CUSTOM_ENV="Z:${work//\//\\}\\env.xml" "$WINE" "$windows_kelo" info --json |
    tr -d '\r' | platform_free > windows.json
grep -q '"status": 0' linux.json
diff linux.json windows.json
echo "kelo and kelo.exe agree on kelo info --json with a custom environment"
