// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The graph command's analysis: the hole edges in the recorded samples, the section boundaries and
// the table of sections with their durations, mean velocities and mid-times.

#include "analysis/edge_scan.h"
#include "common/measurement_state.h"

#include <cstdint>

namespace analysis {

// The settings of a new analysis: holes_per_section, graphed = true, fit_shown = false,
// section_length = holes_per_section x the hole pitch in cm (the product in double precision,
// stored as a 32-bit float) and both zoom factors 1.0. Touches nothing else, so it also takes
// effect when nothing has been measured.
void begin_graph(common::MeasurementState &state, std::int16_t holes_per_section);

// Finds the falling crossings of the threshold in samples 0..last_sample and groups every
// holes_per_section of them into a section. Writes:
//  - edge_index[j], j = 0..edge_count: the sample index of the edge that closes j sections
//    (entry 0: the first edge counted);
//  - edge_count: the number of whole sections; -1 when no edge was found with one hole a section;
//  - for k = 1..edge_count: sect_dt[k], the duration of section k in s; sect_velocity[k], its
//    mean velocity in cm/s (section_length / sect_dt[k]); sect_time[k], the time of its middle in
//    s, counted from the first edge.
// The tables grow to hold every section; entries beyond those written keep their old values and
// entry 0 of the section tables is never written. plotted_sections is left to the drawing.
//
// Expects holes_per_section >= 1 (with less, nothing changes) and sample_rate > 0. A last_sample
// beyond the sample table is taken as its last entry. Returns the number of edges found (0 when
// holes_per_section < 1).
std::int32_t analyse_sections(common::MeasurementState &state);

}  // namespace analysis
