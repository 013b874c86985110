#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, checks the formatting and that every include points down the layers,
# builds and runs every test program, its tests shuffled and three times over; then builds
# everything again with AddressSanitizer and UndefinedBehaviorSanitizer (clang), runs every test
# program again and gives each fuzz target a short run; last builds the tests of the worker pool,
# the undo history and the drawing with ThreadSanitizer (only what they need) and runs them. Exits non-zero
# on any failure, and on a test that skips for a reason other than the allowed ones
# (tests/support/AllowedSkip.h).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
jobs=$(nproc)

echo "== formatting"
git ls-files -- '*.cpp' '*.h' | xargs -r clang-format --dry-run --Werror

echo "== include directions"
scripts/check-includes.sh

# Every build fails on any compiler warning (QUOR_WERROR).
echo "== build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUOR_WERROR=ON
cmake --build build
scripts/run-tests.sh build "$jobs"

echo "== sanitizers: build and test"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DQUOR_SANITIZE=ON -DQUOR_FUZZ=ON -DQUOR_BENCH=OFF -DQUOR_WERROR=ON
cmake --build build-asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan-suppressions.txt
scripts/run-tests.sh build-asan "$jobs"

echo "== fuzz targets"
scripts/run-fuzzers.sh build-asan/fuzz 20

echo "== ThreadSanitizer: build and test the worker pool, the undo history and the drawing"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DQUOR_TSAN=ON -DQUOR_WITH_QT=OFF -DQUOR_BENCH=OFF -DQUOR_WERROR=ON
cmake --build build-tsan --target test_threads
# A race ends the run. The checks that run as another user fork a child that starts threads,
# which ThreadSanitizer allows when asked.
TSAN_OPTIONS=halt_on_error=1:die_after_fork=0 scripts/run-tests.sh build-tsan "$jobs"

read -r p1 f1 s1 <build/test-logs/counts
read -r p2 f2 s2 <build-asan/test-logs/counts
read -r p3 f3 s3 <build-tsan/test-logs/counts
echo "All tests passed."
echo "Tests: $((p1 + p2 + p3)) passed, $((f1 + f2 + f3)) failed, $((s1 + s2 + s3)) skipped"
