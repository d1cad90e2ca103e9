#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the examples of README.md as a reader would, in an empty folder:
# each ```c and ```cpp block is saved as app.c and app.cpp, and every line of
# every ```sh block runs with the built kelo on PATH and the built library
# where the compiler looks for headers and libraries. A line must exit 0;
# when its comment is "# → TEXT", what it prints must be TEXT. A ```sh block
# that cannot run here says why in a comment "<!-- not run by
# readme_examples: ... -->" on the line before it; any other block runs.
#
# Usage: readme_examples_test.sh README INCLUDE_DIR BIN_DIR LIB_DIR WORK_DIR
set -euo pipefail
[ $# -eq 5 ] || { echo "usage: readme_examples_test.sh README INCLUDE_DIR BIN_DIR LIB_DIR WORK_DIR" >&2; exit 2; }
mkdir -p "$5"
readme=$(realpath "$1") include=$(realpath "$2") bin=$(realpath "$3") lib=$(realpath "$4") work=$(realpath "$5")

rm -rf "$work" && mkdir -p "$work"
export PATH="$bin:$PATH" LD_LIBRARY_PATH="$lib" LIBRARY_PATH="$lib"
export C_INCLUDE_PATH="$include" CPLUS_INCLUDE_PATH="$include"
export HOME="$work/home" && mkdir -p "$HOME" # kelo info reads it; nothing leaks into the caller's

failures=0 ran=0
fail() {
    echo "README.md:$1: $2" >&2
    failures=$((failures + 1))
}

# Runs one command line of a ```sh block.
run_line() {
    local number=$1 command=$2 expected=
    [[ $command = *' # → '* ]] && expected=${command#*' # → '}
    local output status=0
    output=$(cd "$work" && bash -c "$command" 2>"$work/stderr") || status=$?
    ran=$((ran + 1))
    if [ "$status" -ne 0 ]; then
        fail "$number" "exit status $status: $command"$'\n'"$(cat "$work/stderr")"
    elif [ -n "$expected" ] && [ "$output" != "$expected" ]; then
        fail "$number" "printed '$output', the README says '$expected': $command"
    fi
}

number=0 fence= start=0 skipped=false previous= block=()
while IFS= read -r line || [ -n "$line" ]; do
    number=$((number + 1))
    if [ -z "$fence" ] && [[ $line =~ ^\`\`\`([a-z]+)$ ]]; then
        fence=${BASH_REMATCH[1]} start=$number block=()
        [[ $previous = '<!-- not run by readme_examples: '* ]] && skipped=true || skipped=false
    elif [ -n "$fence" ] && [ "$line" = '```' ]; then
        case "$fence" in
        c | cpp) printf '%s\n' "${block[@]}" >"$work/app.$fence" ;;
        sh)
            if ! $skipped; then
                command= first=0
                for ((i = 0; i < ${#block[@]}; i++)); do
                    [ -z "$command" ] && first=$((start + 1 + i))
                    command+=${block[i]}
                    if [[ $command = *\\ ]]; then # continued on the next line
                        command=${command%\\}
                        continue
                    fi
                    [[ $command =~ ^[[:space:]]*$ ]] || run_line "$first" "$command"
                    command=
                done
            fi
            ;;
        esac
        fence=
    elif [ -n "$fence" ]; then
        block+=("$line")
    fi
    [ -n "$line" ] && previous=$line
done <"$readme"

echo "readme_examples: $ran command lines run, $failures failed"
[ "$ran" -gt 0 ] && [ "$failures" -eq 0 ]
