// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The entries of the standard 16-colour palette that the pictures use.

#include <cstdint>

namespace common {

struct Rgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    friend constexpr bool operator==(Rgb, Rgb) = default;
};

// Entry `index` (0..15) of the standard 16-colour palette; entries outside it give black.
constexpr Rgb palette_colour(int index)
{
    constexpr Rgb entries[16] = {
        {0, 0, 0},
        {0, 0, 128},
        {0, 128, 0},
        {0, 128, 128},
        {128, 0, 0},
        {128, 0, 128},
        {128, 128, 0},
        {192, 192, 192},
        {128, 128, 128},
        {0, 0, 255},
        {0, 255, 0},
        {0, 255, 255},
        {255, 0, 0},
        {255, 0, 255},
        {255, 255, 0},
        {255, 255, 255},
    };
    return index >= 0 && index < 16 ? entries[index] : entries[0];
}

inline constexpr int kBlack = 0;
inline constexpr int kBrightBlue = 9;  // velocities
inline constexpr int kBrightRed = 12;  // distances and raw traces
inline constexpr int kWhite = 15;      // background of the picture

}  // namespace common
