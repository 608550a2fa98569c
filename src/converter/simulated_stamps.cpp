// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "converter/simulated_stamps.h"

#include "converter/board_protocol.h"

#include <cmath>

namespace converter {

std::vector<common::EdgeStamp> simulated_stamps(
    const SimulatedCart &cart, double reading0_s, std::int64_t last_us, const StampPin &pin)
{
    std::vector<common::EdgeStamp> stamps;
    const double turn_s
        = cart.motion().turn_after_s ? cart.motion().release_delay_s + *cart.motion().turn_after_s : INFINITY;
    auto stamp = [&](double position_cm, bool rising) {
        const double at_s = cart.time_at_position(position_cm);
        if (at_s < 0 || at_s > turn_s)
            return false;
        const auto counts = static_cast<std::int64_t>(std::ceil((at_s - reading0_s) * 1e6 / kEdgeCountUs - 1e-9));
        const std::int64_t time_us = counts * kEdgeCountUs;
        if (time_us > last_us)
            return false;
        if (time_us >= 0)
            stamps.push_back({time_us, rising});
        return true;
    };
    for (int hole = 0; hole < cart.hole_count(); ++hole) {
        if (!cart.has_hole(hole))
            continue;
        if (!stamp(cart.hole_leading_edge_cm(hole) + pin.rise_shift_cm, true)
            || !stamp(cart.hole_trailing_edge_cm(hole) + pin.fall_shift_cm, false))
            break;
    }
    return stamps;
}

}  // namespace converter
