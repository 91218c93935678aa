#!/bin/sh
# Builds the suite twice, optimized and with AddressSanitizer + UndefinedBehaviorSanitizer,
# and runs every test in both builds; then builds the tests labelled "threads" (target
# threaded_tests, with the programs they run) with ThreadSanitizer and runs them. Exits non-zero
# on the first failure.
set -eu
cd "$(dirname "$0")"
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKORV_TESTS=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure --no-tests=error -j "$jobs"

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORV_SANITIZE=ON -DKORV_TESTS=ON
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-sanitize --output-on-failure --no-tests=error -j "$jobs"

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORV_TSAN=ON -DKORV_TESTS=ON
cmake --build build-tsan -j "$jobs" --target threaded_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure --no-tests=error -j "$jobs" -L threads
