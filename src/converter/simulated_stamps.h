// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The stamps that a board's timer would give the edges of a simulated cart's strip, for the tests
// and the benchmark of the analysis: each hole's leading edge a rise and its trailing edge a fall,
// on the timer's counts of 4 µs.

#include "common/measurement_state.h"
#include "converter/simulated_cart.h"

#include <vector>

namespace converter {

struct StampPin {
    // The pin switches this far along the strip past each edge's middle: a little above the
    // readings' threshold on the way up, a little below on the way down (its hysteresis), in cm.
    double rise_shift_cm = 0;
    double fall_shift_cm = 0;
};

// The stamps of the edges that pass the sensor from reading 0, taken `reading0_s` after the cart's
// start, to `last_us` after it, in µs after reading 0: each the whole count of 4 µs at or after
// the instant the pin switched, as the timer's capture holds it. Only the way forward: a cart that
// turns is stamped up to its turn.
std::vector<common::EdgeStamp> simulated_stamps(
    const SimulatedCart &cart, double reading0_s, std::int64_t last_us, const StampPin &pin = {});

}  // namespace converter
