// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/lesson_fit.h"

#include <algorithm>
#include <cmath>

namespace analysis {

std::optional<LessonLine> fit_lesson_line(const std::vector<LessonPoint> &points, bool through_origin)
{
    std::vector<LessonPoint> used;
    for (const LessonPoint &point : points)
        if (point.se > 0 && std::isfinite(point.se) && std::isfinite(point.x) && std::isfinite(point.y))
            used.push_back(point);
    const auto n = static_cast<std::int32_t>(used.size());
    if (n < 2)
        return std::nullopt;
    const std::int32_t parameters = through_origin ? 1 : 2;

    // Weighted sums about the weighted mean of x (or about 0 through the origin).
    double weights = 0;
    double mean_x = 0;
    double mean_y = 0;
    for (const LessonPoint &point : used) {
        const double w = 1.0 / (point.se * point.se);
        weights += w;
        mean_x += w * point.x;
        mean_y += w * point.y;
    }
    mean_x = through_origin ? 0.0 : mean_x / weights;
    mean_y = through_origin ? 0.0 : mean_y / weights;
    double sxx = 0;
    double sxy = 0;
    double syy = 0;
    for (const LessonPoint &point : used) {
        const double w = 1.0 / (point.se * point.se);
        sxx += w * (point.x - mean_x) * (point.x - mean_x);
        sxy += w * (point.x - mean_x) * (point.y - mean_y);
        syy += w * (point.y - mean_y) * (point.y - mean_y);
    }
    // x that do not spread (all alike, or all at 0 through the origin) determine no slope.
    double spread = 0;
    for (const LessonPoint &point : used)
        spread = std::max(spread, std::fabs(point.x - mean_x));
    if (!(sxx > 0) || !(spread > 1e-12 * std::max(1.0, std::fabs(mean_x))) || !std::isfinite(sxx))
        return std::nullopt;

    LessonLine line;
    line.points = n;
    line.slope = sxy / sxx;
    line.intercept = through_origin ? 0.0 : mean_y - line.slope * mean_x;
    double chi_squared = 0;
    for (const LessonPoint &point : used) {
        const double residual = point.y - (line.intercept + line.slope * point.x);
        chi_squared += residual * residual / (point.se * point.se);
    }
    const double birge = n > parameters ? std::max(1.0, chi_squared / (n - parameters)) : 1.0;
    line.slope_error = std::sqrt(birge / sxx);
    if (!through_origin)
        line.intercept_error = std::sqrt(birge * (1.0 / weights + mean_x * mean_x / sxx));
    if (syy > 0)
        line.r_squared = 1.0 - chi_squared / syy;
    if (!std::isfinite(line.slope) || !std::isfinite(line.intercept))
        return std::nullopt;
    return line;
}

}  // namespace analysis
