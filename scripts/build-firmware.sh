#!/bin/sh
# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the board's firmware for an ATmega328P at 16 MHz (an Uno or a Nano) with Debian's gcc-avr
# and avr-libc: build-firmware/undou-kaiseki-board.elf, which the simulator runs, and the .hex that
# avrdude or the Arduino IDE puts on the board. The build's CMake runs it with a folder of its own
# as the argument.
set -eu
cd "$(dirname "$0")/.."
command -v avr-gcc >/dev/null || ./scripts/install-deps.sh
out=${1:-build-firmware}
mkdir -p "$out"
avr-gcc -mmcu=atmega328p -Os -std=c11 -Wall -Wextra -Werror \
    -ffunction-sections -fdata-sections -Wl,--gc-sections \
    -o "$out/undou-kaiseki-board.elf" firmware/undou-kaiseki-board/board.c
avr-objcopy -O ihex -R .eeprom "$out/undou-kaiseki-board.elf" "$out/undou-kaiseki-board.hex"
avr-size "$out/undou-kaiseki-board.elf"
