// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/least_squares.h"

#include "common/numeric.h"

#include <cmath>

namespace analysis {

std::optional<LineFit> fit_velocity_line(
    const std::vector<float> &sect_time, const std::vector<float> &sect_velocity, std::int32_t n)
{
    if (n < 2)
        return std::nullopt;
    const auto count = static_cast<std::size_t>(n);
    if (count >= sect_time.size() || count >= sect_velocity.size())
        return std::nullopt;

    using common::to_single;
    float st = 0;   // s
    float stt = 0;  // s^2
    float sv = 0;   // cm/s
    float stv = 0;  // cm
    bool one_time = true;
    for (std::size_t i = 1; i <= count; ++i) {
        const double t = sect_time[i];
        const double v = sect_velocity[i];
        st = to_single(st + t);
        stt = to_single(t * t + stt);
        sv = to_single(sv + v);
        stv = to_single(t * v + stv);
        one_time = one_time && sect_time[i] == sect_time[1];
    }
    // Points at one time leave the slope undefined, although rounding may leave Ltt a small
    // residue instead of zero; they are caught before it is divided by.
    if (one_time)
        return std::nullopt;

    const float points = to_single(n);
    const float ltt = to_single(stt - static_cast<double>(st) * st / points);
    const float ltv = to_single(stv - static_cast<double>(sv) * st / points);
    if (!(std::isfinite(ltt) && ltt != 0))
        return std::nullopt;
    const float acceleration = to_single(static_cast<double>(ltv) / ltt);
    const float initial_velocity
        = to_single(static_cast<double>(sv) / points - static_cast<double>(st) * acceleration / points);
    if (!std::isfinite(acceleration) || !std::isfinite(initial_velocity))
        return std::nullopt;
    return LineFit{initial_velocity, acceleration};
}

}  // namespace analysis
