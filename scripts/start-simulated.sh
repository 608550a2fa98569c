#!/bin/sh
# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the program and starts it on the simulated converter.
# Any further arguments go to the program (for example --sim-accel 120).
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DUNDOU_BUILD_TESTS=OFF -DUNDOU_BUILD_BENCH=OFF
cmake --build build
exec ./build/src/app/undou-kaiseki --simulate "$@"
