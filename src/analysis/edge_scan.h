// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The light pulses of the holes in a recording: where each hole's light began and where it ended,
// found by the one threshold rule that the sections and the strip check share.

#include "common/measurement_state.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace analysis {

using common::kEdgeThreshold;

struct Pulse {
    // Sample index of the pulse's first reading at or above the threshold; -1 when the reading
    // before it is not known to be below the threshold (the recording began inside the pulse).
    std::int32_t rising = -1;
    // Sample index of the first reading below the threshold after the pulse: the falling edge, the
    // edge the sections count.
    std::int32_t falling = 0;
};

// Scans samples 0..last_sample (a last_sample beyond the table is taken as its last entry) and
// returns every complete pulse in order:
//  - a recording that starts above the threshold skips that first run; a reading of exactly the
//    threshold already ends the skip;
//  - after that, a reading at or above the threshold is light, one below it dark; a pulse is a
//    light run followed by a dark reading before last_sample;
//  - a falling edge found only at last_sample, or a run still light there, is not a pulse.
// So consecutive falling edges lie at least 2 samples apart.
std::vector<Pulse> scan_pulses(const std::vector<std::int16_t> &samples, std::int32_t last_sample);

// The pulses of a recording whose board stamped the edges of the light on its own timer, in µs
// after reading 0 as if read a million times a second (kStampRate): each rise with the fall after
// it. The readings check the stamps: the light that the stamps give between two edges is left out
// with its two edges when the readings taken well inside it, at least a fifth of its time from
// either end, all show the other side of the threshold. Those edges are flicker at the pin's
// threshold, in `flicker_us`. Without stamps (a board that stamps none, or whose D8 is not wired:
// no edge at all), or with a stamp past what a pulse holds, there are none: the readings' own
// edges serve.
struct StampedPulses {
    std::vector<Pulse> pulses;
    std::vector<std::int64_t> flicker_us;
};
inline constexpr float kStampRate = 1e6f;
std::optional<StampedPulses> stamped_pulses(const common::MeasurementState &state);

}  // namespace analysis
