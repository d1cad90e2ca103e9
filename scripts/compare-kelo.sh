#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs every kelo command on the same inputs with each build given and
# compares what the Windows builds print, their exit statuses and the files
# they write with what the Linux build does. Only the differences listed in
# `allowed` pass, each with its reason; any other names the command and the
# build, and fails the script.
#
# Usage: scripts/compare-kelo.sh linux=KELO x86_64=KELO.EXE [i686=KELO.EXE]
# The Windows programs run under Wine (scripts/wine.sh), 32-bit Wine for i686;
# the test child program is taken from beside each kelo.
set -euo pipefail
caller=$PWD # the programs given are found from here
cd "$(dirname "$0")/.."
source scripts/wine.sh

declare -A kelo
builds=()
for given in "$@"; do
    build=${given%%=*}
    case "$build" in linux | x86_64 | i686) ;; *)
        echo "compare-kelo.sh: unknown build '$build' (linux, x86_64, i686)" >&2
        exit 2
        ;;
    esac
    program=${given#*=}
    [[ $program = /* ]] || program=$caller/$program # each command runs in a scratch folder
    kelo[$build]=$program
    builds+=("$build")
done
[ "${builds[0]:-}" = linux ] && [ ${#builds[@]} -ge 2 ] || {
    echo "usage: compare-kelo.sh linux=KELO x86_64=KELO.EXE [i686=KELO.EXE]" >&2
    exit 2
}
for build in "${builds[@]:1}"; do
    wine_use "$build"
    wine_start
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# The differences that the platforms give, as a sed script over a command's
# record: COMMAND (a regular expression over "kelo ARGUMENTS") and EDIT.
allowed() {
    case "$1" in
    # The absolute form starts at each platform's working folder, and the
    # native form is "/" on Linux, "\" on Windows.
    "kelo path info"*) echo '/^stdout: absolute: /d; /^stdout: native: /d' ;;
    # The folder that holds kelo is each build's own.
    "kelo path app"*) echo '/^stdout: /d' ;;
    # Folders are printed in the native form, which separates with "/" on
    # Linux and with "\" on Windows: compared with "/" for both. Their
    # library form is the same everywhere.
    "kelo location "*--library-form*) echo '' ;;
    "kelo location "*) echo '/^stdout: /s|\\|/|g' ;;
    # The custom environment file is named in each platform's path form, and
    # the per-user data folder is each platform's own; the other folders as
    # for kelo location (JSON writes "\" as "\\").
    "kelo info --json --library-form") echo '/"file":/d; /"local_user_data":/d' ;;
    "kelo info --json") echo '/"file":/d; /"local_user_data":/d; /^stdout: /s|\\\\|/|g' ;;
    *) echo '' ;;
    esac
}

# The record of one build's run in its folder: standard output line by
# line, the exit status and a digest of each file named.
record() { # BUILD FILE... -- ARGUMENTS
    local build=$1 status=0 files=() arguments=()
    shift
    while [ "$1" != -- ]; do files+=("$1") && shift; done
    shift
    for argument in "$@"; do arguments+=("${argument//@CHILD@/./keloutil_process_child$([ "$build" = linux ] || echo .exe)}"); done
    if [ "$build" = linux ]; then
        "${kelo[linux]}" "${arguments[@]}" <"$stdin" >stdout 2>stderr || status=$?
    else
        wine_use "$build"
        "$WINE" "${kelo[$build]}" "${arguments[@]}" <"$stdin" >stdout 2>stderr || status=$?
    fi
    sed 's/^/stdout: /' stdout
    echo "exit status $status"
    for file in "${files[@]}"; do
        if [ -f "$file" ]; then echo "$file: $(sha256sum <"$file" | cut -c1-16)"; else echo "$file: none"; fi
    done
}

# check [FILE...] -- ARGUMENTS: runs kelo ARGUMENTS (with @CHILD@ the test
# child of the build) in every build's folder, standard input from $stdin,
# and compares each Windows build's record with the Linux build's.
stdin=/dev/null
check() {
    local files=() command
    while [ "$1" != -- ]; do files+=("$1") && shift; done
    command="kelo ${*:2}"
    local edit
    edit=$(allowed "$command")
    for build in "${builds[@]}"; do
        (cd "$work/$build" && record "$build" "${files[@]}" "$@") | sed "$edit" >"$work/$build.record"
    done
    for build in "${builds[@]:1}"; do
        if ! diff -u --label "linux: $command" --label "$build: $command" "$work/linux.record" "$work/$build.record"; then
            echo "compare-kelo.sh: '$command' differs between linux and $build" >&2
            failures=$((failures + 1))
        fi
    done
    checks=$((checks + 1))
}
checks=0

# Every build works in a folder of its own with the same inputs.
for build in "${builds[@]}"; do
    mkdir "$work/$build"
    cp examples/greeting.txt "$work/$build/input.txt"
    printf 'plain ASCII text\n' >"$work/$build/ascii.txt"
    folder=$(dirname "${kelo[$build]}")
    cp "$folder/keloutil_process_child$([ "$build" = linux ] || echo .exe)" "$work/$build/"
    # One custom environment file for all, with the same keys for both
    # platforms.
    keys=''
    for kind in COMMON_BIN COMMON_LIB COMMON_LOCALIZED_DATA COMMON_DATA LOG_FILE ERROR_TABLE USER_SETTINGS_FILE \
        APPLICATION_KELO_RESOURCE; do
        keys+="<KEY ID=\"KELO_${kind}_LOCATION\"><STRING>\$KELO_ROOT\\${kind,,}</STRING></KEY>"
    done
    keys+='<KEY ID="KELO_APPLICATION_ERROR_LOG_FILE"><STRING>X:\logs\errors.log</STRING></KEY>'
    printf '<KELOCUSTOMENV><PLATFORM OS="Linux">%s</PLATFORM><PLATFORM OS="Windows">%s</PLATFORM></KELOCUSTOMENV>\n' \
        "$keys" "$keys" >"$work/$build/env.xml"
done

check -- version
check -- --help

# Every pair of encodings, from the same source files.
encodings=(utf-8 utf-16 utf-16be utf-16le utf-32)
for from in "${encodings[@]}"; do
    for build in "${builds[@]}"; do
        "${kelo[linux]}" convert --from utf-8 --to "$from" "$work/$build/input.txt" "$work/$build/in.$from"
    done
    for to in ascii "${encodings[@]}"; do check "out.$to" -- convert --from "$from" --to "$to" "in.$from" "out.$to"; done
done
check out.ascii -- convert --from ascii --to utf-16le ascii.txt out.ascii
check out.lossy -- convert --from UTF8 --to us-ascii --lossy input.txt out.lossy
check out.short -- convert -f utf-8 -t utf-32 -- input.txt out.short
check -- settings --help
check -- str arg --no-such-option
check -- convert --from utf8 --to ascii input.txt
stdin=input.txt check -- convert --from utf-8 --to utf-16be
check -- convert --from utf-8 --to klingon input.txt

check -- str arg '%2 and %1, %1%%' X Y
check -- str escape --chars ' :' 'a b:c!{d}'
check -- str unescape 'x!{41}y!{e9}!{1f600}'
check -- str unescape 'bad !{d800}'
check -- str split-list --sep ';;' 'a;;b;;;;c'

check -- path join 'C:\a' b/c 'd\'
check -- path split '\a\b\c.txt'
check -- path info input.txt missing.txt
check made -- path mkpath made/a/b
check -- path app

check -- split-args 'a "b c" d'"'"'e f'"'"' "g'
stdin=input.txt check -- run -- @CHILD@ echo
check -- run -- @CHILD@ args one 'two three'
check -- run -- @CHILD@ exit 3
check -- run -- no-such-program-here

for name in de_DE de-de DEU fr_CA xx_YY EN_us de_DE.UTF-8 fr_FR@euro ja_JP.eucJP@x; do check -- locale "$name"; done
check -- locale xx_YY --no-default
check -- locale not-a-locale --no-default
export KELO_ROOT='C:\kelo' NORVAXIS_KELO_CUSTOM_ENV=env.xml
for kind in COMMON_BIN COMMON_LIB COMMON_LOCALIZED_DATA COMMON_DATA LOG_FILE ERROR_TABLE USER_SETTINGS_FILE \
    APPLICATION_KELO_RESOURCE APPLICATION_ERROR_LOG_FILE; do
    check -- location "$kind"
done
check -- location COMMON_LOCALIZED_DATA --locale ja_JP
check -- location COMMON_BIN --library-form
check -- info --json
check -- info --json --library-form
unset KELO_ROOT NORVAXIS_KELO_CUSTOM_ENV

# One sequence of changes on a fresh settings file: the files must stay
# byte for byte the same in every build.
check s.xml -- settings set s.xml General Color 'Grüße & <b> "x"'
check s.xml -- settings set s.xml General Size 12
check s.xml -- settings set s.xml Network Proxy none
check s.xml -- settings remove s.xml General Size
check s.xml -- settings remove s.xml General Size
check -- settings get s.xml General Color
check -- settings list s.xml
check -- settings sections s.xml
check s.xml -- settings remove-section s.xml Network
check -- settings get missing.xml a k

if [ "$failures" -gt 0 ]; then
    echo "compare-kelo.sh: $failures of $checks commands differ" >&2
    exit 1
fi
echo "kelo agrees on $checks commands across ${builds[*]}"
