// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/edge_scan.h"

#include <algorithm>

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

}  // namespace analysis
