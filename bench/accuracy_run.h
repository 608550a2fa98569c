// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// One recording of a simulated cart, taken either at exact instants on a fake clock or by the
// program's own sampling loop on the real tick counter, and the window's analysis of it against
// the cart's true motion.

#include "analysis/position_fit.h"
#include "common/measurement_state.h"
#include "converter/simulated_cart.h"
#include "graph/surface.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace bench {

struct Recording {
    converter::CartMotion motion;
    common::MeasurementState state;  // after the measurement: samples 0..last_sample
    std::vector<double> sample_s;    // instant of each conversion, in s after the cart's start
    // For a loop recording: the moment the schedule's first deadline tick began, in ns after the
    // cart's start, which is where an ideal recording at the same phase puts its first reading.
    std::int64_t first_deadline_ns = 0;
    // For a loop recording: how far the latest reading started behind its deadline, in ns.
    std::int64_t max_lateness_ns = 0;
};

// 1 s at `period_ms`, reading i taken exactly `first_reading_ns` + i periods after the cart's start.
Recording record_ideal(const converter::CartMotion &motion, std::uint32_t noise_seed, std::int32_t period_ms,
    std::int64_t first_reading_ns);

// 1 s at `period_ms` through record_samples, with Qt's event pump and the system's monotonic clock.
Recording record_loop(const converter::CartMotion &motion, std::uint32_t noise_seed, std::int32_t period_ms);

struct FitOutcome {
    bool fitted = false;                // two or more velocity points on the graph
    bool first_edge_is_hole_0 = false;  // boundary 0 is the trailing edge of the strip's first hole
    bool every_hole_seen = false;       // boundary j is the trailing edge of hole j x holes_per_section
    std::int32_t points = 0;            // velocity points fitted
    double accel_error = 0;             // fitted minus true acceleration, relative to the true one
    double v0_error_cm_s = 0;           // fitted minus true initial velocity

    // The position fit over the same span as the line.
    bool position_fitted = false;
    double position_accel_error = 0;    // relative, as accel_error
    double position_accel_se = 0;       // its standard error, relative to the true acceleration
    double position_v0_error_cm_s = 0;  // as v0_error_cm_s
    std::int32_t position_edges = 0;    // edges it used

    // The strip check over the graph's sections, against what really passed the sensor there
    // (from the first counted edge to the last edge of the last whole section).
    bool has_sections = false;       // the graph has one whole section or more
    bool check_raised = false;       // the check found something: the window shows its message
    bool missed_hole_found = false;  // of which a missed hole
    bool extra_edge_found = false;   // or an edge counted twice, which the simulation never gives
    bool lost_a_hole = false;        // a hole passed the sensor between two readings there
    bool two_readings_each = false;  // every hole and bar there was seen by two readings or more
};

// What the window does for グラフ and 最小２乗法 with `holes_per_section`: the analysis and the
// strip check, the first drawing on `surface` (which decides the points inside the box), and the
// line and the position fit over those points. The truth is the cart's acceleration and its
// velocity at the trailing edge of hole 0.
FitOutcome analyse_recording(Recording &recording, std::int16_t holes_per_section, graph::Surface &surface);

// The position fit as the window makes it at scale `x_scale`: over the boundaries on the graph's
// time axis, and at least those of the points on the graph.
std::optional<analysis::PositionFit> window_position_fit(
    const analysis::StripAnalysis &strip, const common::MeasurementState &state, float x_scale);

struct Options;
// The strip check's messages on ideal recordings of carts that lose holes and carts that do not,
// with holes 3 and 5 mm wide, with and without an end stop; prints its own table.
void run_strip_check_bench(const Options &options, graph::Surface &surface);

}  // namespace bench
