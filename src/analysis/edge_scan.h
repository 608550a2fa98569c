// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The light pulses of the holes in a recording: where each hole's light began and where it ended,
// found by the one threshold rule that the sections and the strip check share.

#include "common/measurement_state.h"

#include <cstdint>
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
    // The board's own stamps of these two edges, in µs after reading 0; -1 where it gave none.
    std::int64_t rising_us = -1;
    std::int64_t falling_us = -1;
};

// The time of a pulse's falling (or rising) edge in s after reading 0 at `rate` readings a
// second: its stamp where the board gave one, or else the middle of the period before the reading
// that found it, where the light crossed the threshold on average.
double falling_time_s(const Pulse &pulse, double rate);
double rising_time_s(const Pulse &pulse, double rate);

// Scans samples 0..last_sample (a last_sample beyond the table is taken as its last entry) and
// returns every complete pulse in order:
//  - a recording that starts above the threshold skips that first run; a reading of exactly the
//    threshold already ends the skip;
//  - after that, a reading at or above the threshold is light, one below it dark; a pulse is a
//    light run followed by a dark reading before last_sample;
//  - a falling edge found only at last_sample, or a run still light there, is not a pulse.
// So consecutive falling edges lie at least 2 samples apart.
std::vector<Pulse> scan_pulses(const std::vector<std::int16_t> &samples, std::int32_t last_sample);

// Gives each pulse's edges the board's stamps of them (`edges` in time order, as a recording keeps
// them): of the stamps of the edge's kind from a period and kStampSlackUs before the reading that
// found the edge to kStampSlackUs after it, the one nearest the middle of that period. The pin
// that the board stamps on switches a little above the threshold on the way up and a little below
// on the way down, so its stamps stand off the readings' crossings by a little. Returns the times
// of the stamps that no pulse took between the first taken and the last: edges that the readings
// do not show, as flicker at the threshold gives them.
std::vector<std::int64_t> attach_stamps(
    std::vector<Pulse> &pulses, const std::vector<common::EdgeStamp> &edges, std::int32_t period_ms);
inline constexpr std::int64_t kStampSlackUs = 2000;

}  // namespace analysis
