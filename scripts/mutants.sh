#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Planted faults: shows how many of some eighty small, realistic faults
# (scripts/mutants.py) the test suite catches. Not part of CI; run it by hand
# before and after changing the suite, and compare the two results.
#
#   nice -n 10 scripts/mutants.sh [--only ID,ID...] [--scratch DIR] [--results FILE]
#                                 [--first FILE] [REVISION]
#   scripts/mutants.sh --list
#
# The committed tree of REVISION (default HEAD) is copied into DIR/src
# (default ${TMPDIR:-/tmp}/mutants), so the working tree may change meanwhile
# and an old revision can be measured with today's faults. One Release build
# in DIR/build serves every fault; a later run of the same revision reuses it.
# The suite must pass on the unchanged tree first. Then each fault is written
# into the copy, built incrementally and the suite run (a test that times out
# counts as failing), and the file is put back. Each fault ends as:
#   caught     a test failed (the first one is named)
#   missed     every test passed
#   broken     the fault does not compile: fix the table
#   not found  its original text is not in the tree: fix the table
# With --first, a fault that an earlier results FILE records as caught has
# the test that caught it run first, and the whole suite only when that
# test is gone or passes: the quick way to check a trimmed suite against
# the figures from before the trimming.
# Results go to standard output and to FILE (default DIR/results.txt); the
# build and test output of each fault stays in DIR/logs. A whole run takes
# about an hour and a quarter on two cores; with --first, about half an hour.
set -euo pipefail
# bash reads a script as it runs; in braces it is read whole first, so that
# editing this file during a run cannot change the run.
{

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
table="$here/mutants.py"

scratch=${TMPDIR:-/tmp}/mutants
results=
only=
first=
revision=HEAD
while [ $# -gt 0 ]; do
    case $1 in
        --only) only=$2; shift 2 ;;
        --scratch) scratch=$2; shift 2 ;;
        --results) results=$2; shift 2 ;;
        --first) first=$(cd "$(dirname "$2")" && pwd)/$(basename "$2"); shift 2 ;;
        --list) python3 "$table" list | expand -t 18; exit 0 ;;
        -h|--help) sed -n '3,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        -*) echo "mutants.sh: unknown option $1" >&2; exit 2 ;;
        *) revision=$1; shift ;;
    esac
done
faults=$(python3 "$table" list "$only") # refuses unknown ids before anything is built
mkdir -p "$scratch"
scratch=$(cd "$scratch" && pwd)
results=${results:-$scratch/results.txt}
pristine=$scratch/pristine # the revision as committed
src=$scratch/src           # the copy that gets the faults
build=$scratch/build
logs=$scratch/logs
excluded='packaging|docs|readme'

# Puts back every file of the copy that differs from the revision: the one
# that holds a fault, or one that a stopped run left. A plain copy gives it a
# new time, so that the next build compiles it again.
restore() {
    local file
    { diff -rq "$pristine" "$src" || true; } | sed -n "s|^Files $pristine/\(.*\) and $src/.* differ\$|\1|p" |
        while IFS= read -r file; do cp "$pristine/$file" "$src/$file"; done
}

suite=
stop() {
    # The suite's process group: whatever its tests started goes with it.
    if [ -n "$suite" ]; then kill -KILL -- "-$suite" 2>/dev/null || true; fi
    restore
}
trap stop EXIT
trap 'exit 130' INT TERM

# Runs the suite, its output in $1, further ctest options after it; sets
# $failure to the first test that failed, empty when all passed. timeout
# leads a process group of its own.
run_suite() {
    local status=0 log=$1
    shift
    timeout --kill-after=30 1800 ctest --test-dir "$build" -j2 --stop-on-failure --timeout 60 -E "$excluded" "$@" \
        </dev/null >"$log" 2>&1 &
    suite=$!
    wait "$suite" || status=$?
    kill -KILL -- "-$suite" 2>/dev/null || true
    suite=
    failure=
    [ "$status" -eq 0 ] && return
    failure=$(sed -nE 's/^.*Test +#[0-9]+: ([^ ]+) .*\*\*\*([A-Za-z]+).*$/\1 (\2)/p' "$log" | head -n 1)
    if [ -z "$failure" ]; then
        if [ "$status" -eq 124 ]; then failure="(the suite ran out of time)"; else failure="(ctest exit status $status)"; fi
    fi
}

commit=$(git -C "$repo" rev-parse --verify "$revision^{commit}")
if [ "$(cat "$scratch/commit" 2>/dev/null)" != "$commit" ] || [ ! -d "$src" ]; then
    rm -rf "$pristine" "$src" "$build" "$scratch/commit"
    mkdir -p "$pristine"
    git -C "$repo" archive "$commit" | tar -x -C "$pristine"
    cp -a "$pristine" "$src"
    echo "$commit" >"$scratch/commit"
fi
restore # an interrupted run may have left a fault in place
rm -rf "$logs"
mkdir -p "$logs"

started=$(date +%s)
echo "=== $commit: building in $build"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELOUTIL_BUILD_BENCH=OFF \
        -DKELOUTIL_WERROR=OFF -DCMAKE_LINK_DEPENDS_NO_SHARED=ON >"$logs/configure.log" 2>&1 ||
        { tail -n 30 "$logs/configure.log"; exit 1; }
fi
cmake --build "$build" -j2 >"$logs/build.log" 2>&1 || { tail -n 30 "$logs/build.log"; exit 1; }
echo "=== the suite on the unchanged tree"
run_suite "$logs/baseline.log"
if [ -n "$failure" ]; then
    echo "mutants.sh: the suite fails without any fault: $failure (see $logs/baseline.log)" >&2
    exit 1
fi

{
    echo "# Planted faults (scripts/mutants.sh) on $commit ($revision), $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "# id, result, first failing test or reason, fault"
} >"$results"
report() { printf '%-17s %-10s %-58s %s\n' "$@" | tee -a "$results"; }
caught=0 missed=0 broken=0 absent=0 total=0
while IFS=$'\t' read -r -u 3 id what; do
    total=$((total + 1))
    if ! file=$(python3 "$table" apply "$id" "$src" 2>&1); then
        absent=$((absent + 1))
        report "$id" "not found" "$file" "$what"
        continue
    fi
    if ! cmake --build "$build" -j2 >"$logs/$id.build.log" 2>&1; then
        broken=$((broken + 1))
        report "$id" broken "$file" "$what"
    else
        failure=
        hint=
        [ -n "$first" ] && hint=$(awk -v id="$id" '$1 == id && $2 == "caught" { print $3; exit }' "$first")
        if [ -n "$hint" ] && [ "${hint#(}" = "$hint" ]; then
            # ctest names a parameterised test with a "  # GetParam() = ..." suffix.
            run_suite "$logs/$id.first.log" -R "^$(printf '%s' "$hint" | sed 's/[][\.*^$+?(){}|]/\\&/g')( |\$)"
        fi
        [ -n "$failure" ] || run_suite "$logs/$id.test.log"
        if [ -n "$failure" ]; then
            caught=$((caught + 1))
            report "$id" caught "$failure" "$what"
        else
            missed=$((missed + 1))
            report "$id" missed "$file" "$what"
        fi
    fi
    restore
done 3<<<"$faults"

minutes=$((($(date +%s) - started + 30) / 60))
{
    echo
    echo "$caught of $total caught ($missed missed, $broken broken, $absent not found) in $minutes min"
} | tee -a "$results"
exit
}
