// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The strip check: every falling edge of a recording held against the known, even spacing of the
// holes. It finds holes that passed the sensor between two readings, edges counted twice because
// the reading flickered at the threshold, and a sampling period at its limit for the cart's speed,
// and it names them by the section of the graph they fall in.

#include "analysis/edge_scan.h"
#include "common/measurement_state.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace analysis {

struct StripCheck {
    // Section numbers (1..the sections of the graph, ascending, each once) where the check found:
    // a gap between falling edges one or two pitches longer than the spacing on both sides of it
    // (holes that passed unseen);
    std::vector<std::int32_t> missed_hole_sections;
    // a gap far shorter than the spacing on both sides, which with a neighbouring gap makes one
    // pitch (an edge counted twice);
    std::vector<std::int32_t> extra_edge_sections;
    // a hole or a dark bar seen by a single reading, or two falling edges two readings or less
    // apart, where the strip's spacing says that the period is at its limit for this speed.
    std::vector<std::int32_t> coarse_period_sections;

    // Entry j, one for each pulse of the recording: the pitches of the strip from the first
    // falling edge to the falling edge of pulse j, a gap of missed holes counted as two or three
    // pitches; -1 for the edge of a pair counted twice that is not a hole's own.
    std::vector<std::int32_t> edge_pitch;

    double period_ms = 0;  // the recording's sampling period
    // The narrower of hole and bar in cm, estimated from the share of light readings between the
    // first and the last falling edge; absent with fewer than two edges.
    std::optional<double> narrower_cm;
    // The fastest speed this period follows, in cm/s: narrower_cm per period.
    std::optional<double> followable_speed_cm_s;
    // The fastest section of the graph in cm/s, its missed holes counted; absent without sections.
    std::optional<double> fastest_section_cm_s;
    // The longest period, in ms, that follows the fastest section with a margin of two: half the
    // time the narrower of hole and bar takes to pass at that speed.
    std::optional<double> longest_period_ms;

    bool found_something() const
    {
        return !missed_hole_sections.empty() || !extra_edge_sections.empty() || !coarse_period_sections.empty();
    }
};

// Checks the pulses of a recording taken at `sample_rate` readings per second, whose graph has
// `sections` whole sections of `holes_per_section` holes from the first pulse on (the gap from
// falling edge j to j + 1 lies in section j / holes_per_section + 1). Findings outside sections
// 1..sections are not reported. Nothing is found, and no speed is given, when holes_per_section
// is below 1 or sample_rate is not positive; edge_pitch is given all the same.
StripCheck check_strip(
    const std::vector<Pulse> &pulses, std::int16_t holes_per_section, std::int32_t sections, float sample_rate);

// What グラフ learns about the strip beyond the sections, kept for the position fit and for the
// texts that report the check.
struct StripAnalysis {
    std::vector<Pulse> pulses;  // every pulse of the recording
    std::int16_t holes_per_section = 0;
    std::int32_t sections = 0;  // whole sections of the graph (edge_count)
    float sample_rate = 0;
    StripCheck check;
};

// The check of the recording in `state` as the section table of its last analysis sees it:
// after analyse_sections, with its holes_per_section and edge_count.
StripAnalysis analyse_strip(const common::MeasurementState &state);

}  // namespace analysis
