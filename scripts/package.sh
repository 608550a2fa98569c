#!/bin/sh
# Installs what is missing, builds the program in Release and makes its Debian package with CPack;
# prints the package's name. Checks it with lintian when lintian is there.
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
