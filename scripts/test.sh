#!/bin/sh
# Installs what is missing, builds the program and its tests, and runs every test: once in a build
# with warnings as errors, once more built with AddressSanitizer and UndefinedBehaviorSanitizer.
# The end-to-end test starts its own X server (Xvfb). Then the code around Qt is cross-compiled for
# Windows with MinGW-w64 and its converter link run under Wine.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/check-format.sh

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUNDOU_WERROR=ON
cmake --build build-test
ctest --test-dir build-test --output-on-failure
# The desktop entry and the AppStream metainfo that the package installs.
desktop-file-validate src/app/resources/undou-kaiseki.desktop
appstreamcli validate --no-net build-test/packaging/*.metainfo.xml

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DUNDOU_WERROR=ON -DUNDOU_SANITIZE=ON \
    -DUNDOU_BUILD_BENCH=OFF
cmake --build build-sanitize
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS="suppressions=$(pwd)/scripts/lsan-suppressions.txt" \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --test-dir build-sanitize --output-on-failure

# Windows, as far as it goes without Qt for Windows: see tests/windows/CMakeLists.txt.
cmake -S tests/windows -B build-windows -G Ninja --toolchain "$(pwd)/tests/windows/mingw-w64.cmake"
cmake --build build-windows
ctest --test-dir build-windows --output-on-failure
