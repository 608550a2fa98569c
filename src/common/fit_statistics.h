// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// How well the velocity points determine the fitted line, as the analysis works it out and a file
// keeps it.

#include <cstdint>
#include <optional>

namespace common {

struct FitStatistics {
    std::int32_t points = 0;  // n, the points fitted
    double intercept = 0;     // cm/s, the velocity at t = 0
    double slope = 0;         // cm/s², the acceleration
    // Standard errors from the residual variance with n - 2 degrees of freedom; absent for two
    // points, where the line passes through both and nothing is left to estimate the scatter.
    std::optional<double> intercept_error;
    std::optional<double> slope_error;
    // 1 - (residual sum of squares) / (total sum of squares of v); absent when every v is the same.
    std::optional<double> r_squared;
};

}  // namespace common
