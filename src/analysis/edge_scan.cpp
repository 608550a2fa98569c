// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/edge_scan.h"

#include <algorithm>
#include <limits>

namespace analysis {

std::vector<Pulse> scan_pulses(const std::vector<std::int16_t> &samples, std::int32_t last_sample)
{
    std::vector<Pulse> pulses;
    if (samples.empty() || last_sample < 0)
        return pulses;
    // Each loop below tests the sample at the scan position and the position against the end on
    // the same step, so the sample at the end itself is read as well.
    const std::int32_t end = std::min(last_sample, static_cast<std::int32_t>(samples.size() - 1));
    auto sample = [&](std::int32_t i) { return samples[static_cast<std::size_t>(i)]; };

    std::int32_t i = 0;
    while (sample(i) > kEdgeThreshold && i < end)
        ++i;

    for (;;) {
        const std::int32_t dark_from = i;
        while (sample(i) < kEdgeThreshold && i < end)
            ++i;
        // Only a dark reading just before it makes the start of the light run a rising edge.
        const std::int32_t rising = i > dark_from ? i : -1;
        while (sample(i) >= kEdgeThreshold && i < end)
            ++i;
        if (i >= end)
            break;
        pulses.push_back({rising, i});
    }
    return pulses;
}

std::optional<StampedPulses> stamped_pulses(const common::MeasurementState &state)
{
    const std::vector<common::EdgeStamp> &edges = state.stamps.edges;
    if (!state.stamps.stamped || edges.empty() || edges.back().time_us > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    const std::int64_t period_us = std::int64_t(state.period_ms) * 1000;
    const std::int64_t last = std::min<std::int64_t>(state.last_sample, std::int64_t(state.samples.size()) - 1);
    // Whether the readings well inside the time from edge i to edge i + 1 all show the other side
    // of the threshold from the stamps; with none there, the readings cannot tell.
    auto readings_deny = [&](std::size_t i) {
        if (period_us <= 0)
            return false;
        const std::int64_t from = edges[i].time_us;
        const std::int64_t to = edges[i + 1].time_us;
        const std::int64_t margin = (to - from) / 5;
        const std::int64_t first = std::max<std::int64_t>(0, (from + margin) / period_us + 1);
        const std::int64_t end = std::min<std::int64_t>(last + 1, (to - margin + period_us - 1) / period_us);
        if (first >= end)
            return false;
        for (std::int64_t k = first; k < end; ++k) {
            if ((state.samples[static_cast<std::size_t>(k)] >= kEdgeThreshold) == edges[i].rising)
                return false;
        }
        return true;
    };
    StampedPulses stamped;
    std::vector<common::EdgeStamp> kept;
    for (std::size_t i = 0; i < edges.size(); ++i) {
        if (i + 1 < edges.size() && readings_deny(i)) {
            stamped.flicker_us.push_back(edges[i].time_us);
            stamped.flicker_us.push_back(edges[i + 1].time_us);
            ++i;
            continue;
        }
        kept.push_back(edges[i]);
    }
    // Rises and falls still alternate; a fall before any rise and a rise left at the end are no
    // whole pulse.
    for (std::size_t i = 0; i + 1 < kept.size(); ++i) {
        if (kept[i].rising && !kept[i + 1].rising) {
            stamped.pulses.push_back(
                {static_cast<std::int32_t>(kept[i].time_us), static_cast<std::int32_t>(kept[i + 1].time_us)});
            ++i;
        }
    }
    return stamped;
}

}  // namespace analysis
