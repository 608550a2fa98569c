#!/bin/sh
# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the program in Release and makes its Debian package with CPack,
# checked with lintian when lintian is there; then builds it for Windows and makes the installer and
# the ZIP. Puts the three beside this repository's README and prints their names.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=build-package
# Debian's hardening: stack protector, fortified functions, read-only relocations bound at start.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    -DUNDOU_BUILD_TESTS=OFF -DUNDOU_BUILD_BENCH=OFF >/dev/null
cmake --build "$build"
(cd "$build" && cpack -G DEB >/dev/null)
package=$(ls "$build"/undou-kaiseki_*.deb)
if command -v lintian >/dev/null; then
    lintian --fail-on error "$package"
fi
cp "$package" .
basename "$package"

# Windows: the installer and the ZIP (Qt for Windows is built once, the first time).
for windows_package in $(./scripts/build-windows.sh); do
    cp "$windows_package" .
    basename "$windows_package"
done
