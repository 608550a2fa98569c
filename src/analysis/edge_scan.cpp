// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/edge_scan.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

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

std::vector<std::int64_t> attach_stamps(
    std::vector<Pulse> &pulses, const std::vector<common::EdgeStamp> &edges, std::int32_t period_ms)
{
    const std::int64_t period_us = std::int64_t(period_ms) * 1000;
    std::size_t next = 0;
    std::vector<bool> taken(edges.size(), false);
    // The stamp of the edge found at reading `index`, rising or not; the stamps before its window
    // are passed over for good.
    auto stamp_of = [&](std::int32_t index, bool rising) -> std::int64_t {
        if (index < 0)
            return -1;
        const std::int64_t from = (index - 1) * period_us - kStampSlackUs;
        const std::int64_t to = index * period_us + kStampSlackUs;
        while (next < edges.size() && edges[next].time_us < from)
            ++next;
        // The nearest to the middle of the period in which the readings crossed: flicker beside
        // an edge is passed over.
        const std::int64_t middle = index * period_us - period_us / 2;
        std::optional<std::size_t> best;
        for (std::size_t at = next; at < edges.size() && edges[at].time_us <= to; ++at) {
            if (edges[at].rising == rising
                && (!best || std::llabs(edges[at].time_us - middle) < std::llabs(edges[*best].time_us - middle)))
                best = at;
        }
        if (!best)
            return -1;
        next = *best + 1;
        taken[*best] = true;
        return edges[*best].time_us;
    };
    for (Pulse &pulse : pulses) {
        pulse.rising_us = stamp_of(pulse.rising, true);
        pulse.falling_us = stamp_of(pulse.falling, false);
    }
    // Before the first pulse and after the last, the readings show no whole pulse to hold an edge.
    const auto first = std::find(taken.begin(), taken.end(), true);
    const auto last = std::find(taken.rbegin(), taken.rend(), true).base();
    std::vector<std::int64_t> left;
    for (auto at = first; at < last; ++at) {
        if (!*at)
            left.push_back(edges[static_cast<std::size_t>(at - taken.begin())].time_us);
    }
    return left;
}

double falling_time_s(const Pulse &pulse, double rate)
{
    return pulse.falling_us >= 0 ? pulse.falling_us * 1e-6 : (pulse.falling - 0.5) / rate;
}

double rising_time_s(const Pulse &pulse, double rate)
{
    return pulse.rising_us >= 0 ? pulse.rising_us * 1e-6 : (pulse.rising - 0.5) / rate;
}

}  // namespace analysis
