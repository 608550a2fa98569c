// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// How well the velocity points determine the fitted line: the ordinary least-squares line through
// them in double precision, the standard errors of its intercept and slope, and r².

#include "common/fit_statistics.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace analysis {

using common::FitStatistics;

// Fits points 1..n of the section tables (times in s, velocities in cm/s; entry 0 is not a point)
// in double precision. Returns nothing when the line is not determined: fewer than two points, all
// points at one time, a count beyond either table, or values that are not finite.
std::optional<FitStatistics> fit_statistics(
    const std::vector<float> &sect_time, const std::vector<float> &sect_velocity, std::int32_t n);

}  // namespace analysis
