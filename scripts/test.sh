#!/bin/sh
# Installs what is missing, builds the program and its tests, and runs every test: once in a build
# with warnings as errors, once more built with AddressSanitizer and UndefinedBehaviorSanitizer.
# The end-to-end test starts its own X server (Xvfb).
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/check-format.sh

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUNDOU_WERROR=ON
cmake --build build-test
ctest --test-dir build-test --output-on-failure

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DUNDOU_WERROR=ON -DUNDOU_SANITIZE=ON \
    -DUNDOU_BUILD_BENCH=OFF
cmake --build build-sanitize
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS="suppressions=$(pwd)/scripts/lsan-suppressions.txt" \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --test-dir build-sanitize --output-on-failure
