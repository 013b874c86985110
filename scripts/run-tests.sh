#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every test program of a build tree once, its tests shuffled and three times over
# (--gtest_shuffle --gtest_repeat=3), so that a test that leans on what another test left behind
# shows. Several programs run at once; the programs and their environments are the ones the
# build lists in tests/runs.txt. Fails when a program fails, and when a test skips without the
# mark of tests/support/AllowedSkip.h; the allowed skips are listed with their reasons.
#   scripts/run-tests.sh BUILD-DIR [JOBS]
set -euo pipefail
build=${1:?usage: scripts/run-tests.sh BUILD-DIR [JOBS]}
jobs=${2:-$(nproc)}
runs="$build/tests/runs.txt"
logs="$build/test-logs"
[[ -f $runs ]] || {
    echo "$runs is missing: configure and build $build first" >&2
    exit 1
}
rm -rf "$logs"
mkdir -p "$logs"

# The runs, started JOBS at a time; run N writes N.log, N.rc and N.what (what ran).
n=0
while IFS=$'\t' read -r program env; do
    [[ -n $program ]] || continue
    n=$((n + 1))
    echo "$(basename "$program")${env:+ ($env)}" >"$logs/$n.what"
    (
        set +e
        # shellcheck disable=SC2086 # the environment is a list of VAR=value words
        env $env "$program" --gtest_shuffle --gtest_repeat=3 >"$logs/$n.log" 2>&1
        echo $? >"$logs/$n.rc"
    ) &
    while (($(jobs -rp | wc -l) >= jobs)); do
        wait -n || true
    done
done <"$runs"
wait

# Per skipped test of a log: "allowed<TAB>test<TAB>reason" or "refused<TAB>test<TAB>message".
skips_of() {
    awk '
        /^\[ RUN      \] / { reason = ""; message = ""; skipped = 0; next }
        /: Skipped$/ { skipped = 1; next }
        skipped && /^allowed skip: / { reason = substr($0, 15); skipped = 0; next }
        skipped && NF > 0 && !/^\[/ { message = $0; skipped = 0; next }
        /^\[  SKIPPED \] .* \([0-9]+ ms\)$/ {
            if (reason != "") print "allowed\t" $4 "\t" reason
            else print "refused\t" $4 "\t" (message != "" ? message : "no reason given")
        }
    ' "$1" | sort -u
}

failed=0
tests=0
refused=0
allowed=""
for ((i = 1; i <= n; i++)); do
    what=$(cat "$logs/$i.what")
    rc=$(cat "$logs/$i.rc")
    # The number of tests of one round.
    count=$(sed -nE 's/^\[==========\] ([0-9]+) tests? from .* ran\..*/\1/p' "$logs/$i.log" | head -n 1)
    tests=$((tests + ${count:-0}))
    if [[ $rc != 0 ]]; then
        failed=1
        echo "FAILED: $what (exit code $rc); $logs/$i.log holds its output" >&2
        # The failed tests with their messages, else (a crash) the end of the output.
        if grep -q '^\[  FAILED  \] .* ([0-9]* ms)$' "$logs/$i.log"; then
            awk '/^\[ RUN      \] / { block = "" } { block = block $0 "\n" }
                 /^\[  FAILED  \] .* \([0-9]+ ms\)$/ { printf "%s", block }' "$logs/$i.log" >&2
        else
            tail -n 40 "$logs/$i.log" >&2
        fi
    fi
    while IFS=$'\t' read -r kind name text; do
        [[ -n $kind ]] || continue
        if [[ $kind == allowed ]]; then
            allowed+="  $name: $text"$'\n'
        else
            failed=1
            refused=$((refused + 1))
            echo "SKIPPED without an allowed reason: $name in $what: $text" >&2
        fi
    done < <(skips_of "$logs/$i.log")
done

skipped=$(($(printf '%s' "$allowed" | grep -c . || true) + refused))
echo "$n test program runs, $tests tests each run three times in a shuffled order;" \
    "$skipped skipped, $refused of them without an allowed reason."
[[ -z $allowed ]] || printf 'Skipped, as allowed:\n%s' "$allowed"
# The runs of single tests, over all rounds: passed, failed, skipped (test.sh adds them up).
passes=$(cat "$logs"/*.log | grep -c '^\[       OK \] .* ([0-9]* ms)$' || true)
failures=$(cat "$logs"/*.log | grep -c '^\[  FAILED  \] .* ([0-9]* ms)$' || true)
skips=$(cat "$logs"/*.log | grep -c '^\[  SKIPPED \] .* ([0-9]* ms)$' || true)
echo "$passes $failures $skips" >"$logs/counts"
exit $failed
