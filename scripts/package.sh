#!/bin/sh
# Installs what is missing, builds the program in Release and makes its Debian package with CPack;
# prints the package's name. Checks it with lintian when lintian is there.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=build-package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DUNDOU_BUILD_TESTS=OFF -DUNDOU_BUILD_BENCH=OFF >/dev/null
cmake --build "$build"
(cd "$build" && cpack -G DEB >/dev/null)
package=$(ls "$build"/undou-kaiseki_*.deb)
if command -v lintian >/dev/null; then
    lintian --fail-on error "$package"
fi
cp "$package" .
basename "$package"
