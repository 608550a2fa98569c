// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/sections.h"

#include "common/numeric.h"

#include <vector>

namespace analysis {
namespace {

// Makes entry `index` of the table exist; new entries are zero and no entry is lost.
template <typename T> T &entry(std::vector<T> &table, std::int32_t index)
{
    const auto position = static_cast<std::size_t>(index);
    if (position >= table.size())
        table.resize(position + 1, T{});
    return table[position];
}

// The edge scan. Returns the number of edges found and records every holes_per_section-th one,
// starting with the first, in edge_index; with the board's stamps, their times in s after the
// first in edge_time_s, and edge_index the reading at or after each.
std::int32_t scan_edges(common::MeasurementState &state)
{
    const std::optional<StampedPulses> stamped = stamped_pulses(state);
    const std::vector<Pulse> pulses = stamped ? stamped->pulses : scan_pulses(state.samples, state.last_sample);
    const std::int32_t holes = state.holes_per_section;
    const auto edges = static_cast<std::int32_t>(pulses.size());
    const std::int32_t period_us = std::max(1, state.period_ms * 1000);
    state.edge_time_s.clear();
    for (std::int32_t e = 0; e < edges; e += holes) {
        const std::int32_t falling = pulses[static_cast<std::size_t>(e)].falling;
        entry(state.edge_index, e / holes) = stamped ? (falling + period_us - 1) / period_us : falling;
        if (stamped)
            state.edge_time_s.push_back((falling - pulses.front().falling) * 1e-6);
    }
    return edges;
}

}  // namespace

void begin_graph(common::MeasurementState &state, std::int16_t holes_per_section)
{
    state.holes_per_section = holes_per_section;
    state.graphed = true;
    state.fit_shown = false;
    state.section_length = common::to_single(holes_per_section * common::kHolePitchCm);
    state.edge_time_s.clear();
    state.x_zoom = 1.0f;
    state.y_zoom = 1.0f;
}

std::int32_t analyse_sections(common::MeasurementState &state)
{
    const std::int32_t holes = state.holes_per_section;
    if (holes < 1)
        return 0;

    const std::int32_t edges = scan_edges(state);
    // Truncating division: no edge at all gives -1 sections with one hole a section, 0 otherwise.
    state.edge_count = (edges - 1) / holes;

    if (state.edge_count < 1)
        return edges;
    // Boundaries 0..edge_count were all written by the scan above.
    const std::vector<std::int32_t> &boundary = state.edge_index;
    const std::int32_t first = boundary[0];
    const double rate = state.sample_rate;
    for (std::int32_t k = 1; k <= state.edge_count; ++k) {
        const std::int32_t start = boundary[static_cast<std::size_t>(k - 1)];
        const std::int32_t stop = boundary[static_cast<std::size_t>(k)];
        // Index sums and differences are integers; everything after them is double precision,
        // and each result is rounded to its stored float before it is used again.
        // The board's stamps time the sections to its timer's 4 µs rather than to the readings'
        // period.
        const std::vector<double> &stamped = state.edge_time_s;
        const double stamp_start = stamped.empty() ? 0 : stamped[static_cast<std::size_t>(k - 1)];
        const double stamp_stop = stamped.empty() ? 0 : stamped[static_cast<std::size_t>(k)];
        const float dt = common::to_single(stamped.empty() ? (stop - start) / rate : stamp_stop - stamp_start);
        entry(state.sect_dt, k) = dt;
        entry(state.sect_velocity, k) = common::to_single(static_cast<double>(state.section_length) / dt);
        entry(state.sect_time, k) = common::to_single(
            stamped.empty() ? ((start + stop) / 2.0 - first) / rate : (stamp_start + stamp_stop) / 2.0);
    }
    return edges;
}

}  // namespace analysis
