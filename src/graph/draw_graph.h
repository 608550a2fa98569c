// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The motion graph: velocity of every section (blue discs, left axis) and distance at every
// section boundary (red discs, right axis) against time, in a plot box with a dotted grid.

#include "common/measurement_state.h"
#include "graph/graph_layout.h"
#include "graph/surface.h"

namespace graph {

// Clears the surface and draws the whole graph at the given scale factors (powers of two in use),
// with the tick labels of `style`. Reads edge_count, sect_time, sect_velocity, edge_index,
// sample_rate and section_length from the state.
//
// Velocity discs k = 1..edge_count and distance discs k = 0..edge_count are drawn in order until
// the first one outside the plot box (x > 610 or y < 60); that one and all later ones of the same
// plot are left out. plotted_sections is set to k after each velocity disc drawn, and is 0 when
// none is. No distance disc is drawn while sample_rate is not above 0 (nothing
// measured yet), and a plot also ends where its table ends.
//
// Leaves the surface with line style solid, fill style solid, fill colour red and text colour red.
void draw_graph(Surface &surface, common::MeasurementState &state, float x_scale, float y_scale,
    LabelStyle style = LabelStyle::Zoomed);

// The velocity discs that draw_graph puts inside the plot box at the given scale: discs 1..the
// number returned, which draw_graph leaves in plotted_sections.
std::int32_t sections_on_graph(const common::MeasurementState &state, float x_scale, float y_scale);

// The last boundary (0..edge_count) whose time lies on the graph's time axis at the given scale,
// whether or not its distance disc fits the box; 0 before any measurement.
std::int32_t boundaries_on_time_axis(const common::MeasurementState &state, float x_scale);

}  // namespace graph
