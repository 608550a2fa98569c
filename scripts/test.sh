#!/bin/sh
# Installs what is missing, builds the program and its tests, and runs every test.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=build-test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUNDOU_WERROR=ON
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure
