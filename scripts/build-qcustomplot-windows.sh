#!/bin/sh
# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds QCustomPlot for 64-bit Windows with MinGW-w64 from the distribution's own source of the
# QCustomPlot that the host has, against Qt for Windows (the folder given, or the one
# build-qt-windows.sh builds), once, into a cache outside the repository; prints the folder it is
# installed in. A later run finds it there and returns at once.
#
# It is built as a static library, so that the program carries it inside and no DLL of it has to be
# shipped. The distribution's CMake project makes a DLL and compiles with the export declarations
# (QCUSTOMPLOT_COMPILE_LIBRARY); both are taken out, so that neither the library nor the program
# sees its classes as exported or imported. Its CMake package (QCustomPlotQt6) is installed too.
#
# The source comes through apt with a configuration of its own (deb-src entries made from the
# system's deb entries, lists and cache in the build folder); the system's apt setup is not touched.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)

qt=${1:-$("$root/scripts/build-qt-windows.sh")}
[ -f "$qt/undou-build-stamp" ] || { echo "no Qt for Windows built by build-qt-windows.sh in $qt" >&2; exit 1; }

version=$(dpkg-query -W -f='${source:Version}' libqcustomplot-dev)   # 2.1.0+dfsg1-3.1
upstream=${version%%+*}
upstream=${upstream%%-*}
cache=${UNDOU_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/undou-kaiseki}
prefix=$cache/qcustomplot-$upstream-mingw
work=$cache/qcustomplot-$upstream-mingw-build

# Everything that decides what is built, the Qt it is built against among it; a change of it builds
# again.
features="-DBUILD_SHARED_LIBS=OFF -DCMAKE_BUILD_TYPE=Release -DUSE_QT_VERSION=6"
qt_stamp=$(sha256sum "$qt/undou-build-stamp")
stamp="qcustomplot $version static; $features; Qt $qt ${qt_stamp%% *}"

if [ -f "$prefix/undou-build-stamp" ] && [ "$(cat "$prefix/undou-build-stamp")" = "$stamp" ]; then
    echo "$prefix"
    exit 0
fi

echo "Building QCustomPlot $upstream for Windows once into $prefix (a few minutes on two cores)" >&2
rm -rf "$work" "$prefix"
"$root/scripts/fetch-debian-source.sh" "$work" "qcustomplot=$version"
src=$(find "$work/source" -mindepth 1 -maxdepth 1 -type d -name 'qcustomplot-*' | head -n 1)
[ -n "$src" ] || { echo "no source of qcustomplot $version" >&2; exit 1; }

# A static library without the export declarations (see above); stop if the project no longer reads
# as expected rather than build a DLL after all.
# shellcheck disable=SC2016
sed -i -e 's/^add_library(\${LIB_NAME} SHARED /add_library(${LIB_NAME} /' \
    -e '/^add_definitions(-DQCUSTOMPLOT_COMPILE_LIBRARY)/d' "$src/CMakeLists.txt"
if grep -q 'SHARED\|QCUSTOMPLOT_COMPILE_LIBRARY' "$src/CMakeLists.txt"; then
    echo "QCustomPlot's CMakeLists.txt has changed: it still asks for a DLL" >&2
    exit 1
fi

# shellcheck disable=SC2086
cmake -S "$src" -B "$work/build" -G Ninja --toolchain "$root/cmake/mingw-w64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$qt" -DUNDOU_QT_WINDOWS="$qt" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake $features >&2
cmake --build "$work/build" >&2
cmake --install "$work/build" >&2
echo "$stamp" >"$prefix/undou-build-stamp"
rm -rf "$work"
echo "$prefix"
