#!/bin/sh
# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the program for 64-bit Windows with MinGW-w64, with warnings as errors, against Qt and
# QCustomPlot for Windows (built once by build-qt-windows.sh and build-qcustomplot-windows.sh into a
# cache outside the repository), installs it into build-windows/stage and makes the installer and
# the ZIP in build-windows/. Prints their paths.
# Any arguments go to CMake's configure step (for example -DUNDOU_BUILD_TESTS=OFF).
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
qt=$(./scripts/build-qt-windows.sh)
qcustomplot=$(./scripts/build-qcustomplot-windows.sh "$qt")
build=build-windows
cmake -S . -B "$build" -G Ninja --toolchain "$(pwd)/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$qt" -DUNDOU_QT_WINDOWS="$qt" -DUNDOU_QCUSTOMPLOT_WINDOWS="$qcustomplot" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DUNDOU_WERROR=ON -DUNDOU_BUILD_BENCH=OFF "$@" >&2
cmake --build "$build" >&2
rm -rf "$build/stage"
cmake --install "$build" --prefix "$build/stage" --strip >&2
version=$(sed -n 's/^project(UndouKaiseki VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
packaging/windows/make-packages.sh "$build/stage" "$build" "$version"
