#!/bin/sh
# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the program's icons from the 32 x 32 cart icon (src/app/resources/undou-kaiseki.xpm) with
# ImageMagick: the hicolor PNGs of the Linux desktop and the .ico of the Windows program. The
# results are kept in the repository, so that neither build needs ImageMagick; run this after
# changing the cart icon.
set -eu
cd "$(dirname "$0")/../src/app/resources"
for size in 16 32 48 64 128 256; do
    # Whole multiples keep the pixel drawing sharp (point sampling); 16 and 48 are averaged.
    case $size in
        32|64|128|256) filter=point ;;
        *) filter=box ;;
    esac
    convert undou-kaiseki.xpm -filter "$filter" -resize "${size}x${size}" -strip \
        -define png:exclude-chunks=date,time "icons/undou-kaiseki-$size.png"
done
convert icons/undou-kaiseki-16.png icons/undou-kaiseki-32.png icons/undou-kaiseki-48.png \
    icons/undou-kaiseki-256.png undou-kaiseki.ico
