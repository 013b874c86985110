#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every fuzz target of a build folder for the given seconds on a copy of its seed corpus.
# An input that crashes, leaks or times out is kept in BUILD_FUZZ_FOLDER/artifacts/, never in the
# current folder.
# Usage: scripts/run-fuzzers.sh BUILD_FUZZ_FOLDER SECONDS
set -euo pipefail
folder=$1
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
artifacts=$(cd "$folder" && pwd)/artifacts
mkdir -p "$artifacts"
# Leaks of the system's libraries that are not ours to mend.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/scripts/lsan-suppressions.txt}
shopt -s nullglob
for target in "$folder"/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    work=$(mktemp -d)
    if [ -d "$root/fuzz/corpus/$name" ]; then
        cp -r "$root/fuzz/corpus/$name/." "$work/"
    fi
    echo "-- $name for ${seconds}s"
    status=0
    "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$work" >"$work.log" 2>&1 || status=$?
    grep -E "stat::number_of_executed_units|Done [0-9]+ runs" "$work.log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$work.log" >&2
        echo "$name failed; its input is kept in $artifacts/" >&2
    fi
    rm -rf "$work" "$work.log"
    [ "$status" -eq 0 ] || exit 1
done
