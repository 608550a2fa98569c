// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The straight line v = initial_velocity + acceleration x t through the velocity points of the
// graph, by ordinary least squares.

#include <cstdint>
#include <optional>
#include <vector>

namespace analysis {

struct LineFit {
    float initial_velocity;  // cm/s, the velocity at t = 0
    float acceleration;      // cm/s^2
};

// Fits points 1..n of the section tables (times in s, velocities in cm/s); entry 0 is not a point.
// The sums run over the points in increasing order and are rounded to 32-bit floats after every
// addition; the coefficients are formed in double precision and rounded where they are stored.
//
// Returns nothing when the line is not determined: fewer than two points, all points at one time,
// a count beyond either table, or a result that is not a finite number (a table holding NaN or
// infinities).
std::optional<LineFit> fit_velocity_line(
    const std::vector<float> &sect_time, const std::vector<float> &sect_velocity, std::int32_t n);

}  // namespace analysis
