#!/bin/sh
# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the program and its tests, and runs every test: once in a build
# with warnings as errors, once more built with AddressSanitizer and UndefinedBehaviorSanitizer.
# The end-to-end test starts its own X server (Xvfb). Then the program is built for Windows, and its
# tests and its installer run under Wine.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/check-format.sh
# The shape of the house: file lengths, no state outside the objects, the link lists, one place
# for each fit.
python3 scripts/check-structure.py

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

# Windows: Qt for Windows built once into a cache outside the repository (about 45 minutes the
# first time), the program and its unit tests cross-built with warnings as errors, the installer and
# the ZIP; then the unit tests under Wine, and the installer under Wine, with the installed program
# driven through the end-to-end steps by the Linux build's end-to-end test.
./scripts/build-windows.sh -DUNDOU_E2E_DRIVER="$(pwd)/build-test/tests/e2e/tst_e2e_end_to_end" >/dev/null
ctest --test-dir build-windows --output-on-failure
