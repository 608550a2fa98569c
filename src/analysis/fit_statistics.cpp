// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/fit_statistics.h"

#include <cmath>

namespace analysis {

std::optional<FitStatistics> fit_statistics(
    const std::vector<float> &sect_time, const std::vector<float> &sect_velocity, std::int32_t n)
{
    if (n < 2 || static_cast<std::size_t>(n) >= sect_time.size() || static_cast<std::size_t>(n) >= sect_velocity.size())
        return std::nullopt;
    // Sums about the means, which keeps the differences small and the result accurate.
    double mean_t = 0;
    double mean_v = 0;
    for (std::int32_t k = 1; k <= n; ++k) {
        mean_t += sect_time[static_cast<std::size_t>(k)];
        mean_v += sect_velocity[static_cast<std::size_t>(k)];
    }
    mean_t /= n;
    mean_v /= n;
    double stt = 0;
    double stv = 0;
    double svv = 0;
    for (std::int32_t k = 1; k <= n; ++k) {
        const double dt = sect_time[static_cast<std::size_t>(k)] - mean_t;
        const double dv = sect_velocity[static_cast<std::size_t>(k)] - mean_v;
        stt += dt * dt;
        stv += dt * dv;
        svv += dv * dv;
    }
    if (!(stt > 0) || !std::isfinite(stt) || !std::isfinite(stv) || !std::isfinite(svv))
        return std::nullopt;

    FitStatistics fit;
    fit.points = n;
    fit.slope = stv / stt;
    fit.intercept = mean_v - fit.slope * mean_t;
    double residual_squares = 0;
    for (std::int32_t k = 1; k <= n; ++k) {
        const double residual = sect_velocity[static_cast<std::size_t>(k)]
            - (fit.intercept + fit.slope * sect_time[static_cast<std::size_t>(k)]);
        residual_squares += residual * residual;
    }
    if (n > 2) {
        const double variance = residual_squares / (n - 2);
        fit.slope_error = std::sqrt(variance / stt);
        fit.intercept_error = std::sqrt(variance * (1.0 / n + mean_t * mean_t / stt));
    }
    if (svv > 0)
        fit.r_squared = 1.0 - residual_squares / svv;
    return fit;
}

}  // namespace analysis
