#!/bin/sh
# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the benchmark in Release and runs it; prints one table per
# measurement. Any further arguments go to the benchmark (for example --quick or --only graph).
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DUNDOU_BUILD_TESTS=OFF -DUNDOU_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target undou-bench
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" exec "./$build/bench/undou-bench" "$@"
