// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The first step of the strip check: the holes of the strip as they passed the sensor, read from
// the light and dark runs of a recording. A sensor near the threshold reads one or two bounces as
// an edge passes (light, dark, light, then dark for good), or drops for a reading inside a hole
// or a bar; the sections count each such reading as an edge. Such runs are far shorter than the
// other runs of their kind nearby, which a strip never makes: they are taken out here.

#include "analysis/edge_scan.h"
#include "analysis/strip_check.h"

#include <cstdint>
#include <vector>

namespace analysis {

struct StripReading {
    // The holes in order, their pitches all 0 (the gap judgement counts them).
    std::vector<StripHole> holes;
    // Entry j, one for each pulse: the hole its falling edge belongs to (the hole's own, or a
    // bounce at that hole's falling crossing); -1 for a falling edge that belongs to no hole's
    // fall (a bounce as light began, or a drop inside a hole or a bar).
    std::vector<std::int32_t> owner;
};

// Reads the pulses of a recording. A run is taken as spurious when it is at most a third of the
// typical run of its kind nearby (the median of the six nearest longer than a bounce, at least
// three of them), that typical run being at least 3.5 readings and two readings longer. Consecutive spurious
// runs between two runs of one kind join them into one run, where that leaves a gap of one pitch
// between falls (else the last of them is a short hole or bar of its own); between a light and a
// dark run they are the crossing, which is put in their middle.
StripReading read_strip(const std::vector<Pulse> &pulses);

}  // namespace analysis
