#!/bin/sh
# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs, on Debian or Ubuntu, whatever the build, the program and the tests need and is not there yet.
set -eu

packages="cmake ninja-build g++ qt6-base-dev libqt6sql6-sqlite qt6-serialport-dev qt6-translations-l10n libgl-dev \
libqcustomplot-dev fonts-ipafont-gothic fonts-noto-cjk xvfb xauth xdotool openbox x11-utils clang-format \
g++-mingw-w64-x86-64-posix tcl wine64 nsis fonts-dejavu-core desktop-file-utils appstream dpkg-dev lintian python3 \
gcc-avr avr-libc binutils-avr simavr libsimavr-dev libelf-dev"

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
echo "Installing:$missing"
$sudo apt-get update
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
