// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The law a lesson's runs show: a straight line through each run's acceleration against the value
// the class changed (or its inverse), each run weighted by its own standard error.

#include <cstdint>
#include <optional>
#include <vector>

namespace analysis {

struct LessonPoint {
    double x = 0;   // the condition's value, or its inverse
    double y = 0;   // the run's acceleration, cm/s²
    double se = 0;  // its standard error, cm/s²
};

struct LessonLine {
    double slope = 0;
    double slope_error = 0;
    double intercept = 0;                   // 0 through the origin
    std::optional<double> intercept_error;  // absent through the origin
    // 1 - (weighted residual squares) / (weighted squares about the weighted mean, or about 0
    // through the origin); absent when the points do not spread.
    std::optional<double> r_squared;
    std::int32_t points = 0;
};

// Fits y = intercept + slope x (or y = slope x `through_origin`) by least squares weighted by
// 1 / se². The errors are those the runs' own errors give, widened by the scatter about the line
// where it is larger than they allow (the square root of chi² per degree of freedom, when above 1):
// an error that ignores either would promise more than the runs can show.
//
// Points with an error that is not positive and finite are left out. Nothing when fewer than two
// points are left, or when their x do not spread (all alike, or all 0 through the origin).
std::optional<LessonLine> fit_lesson_line(const std::vector<LessonPoint> &points, bool through_origin);

}  // namespace analysis
