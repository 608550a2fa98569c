#pragma once

// One recording of a simulated cart, taken either at exact instants on a fake clock or by the
// program's own sampling loop on the real tick counter, and the window's analysis of it against
// the cart's true motion.

#include "common/measurement_state.h"
#include "converter/simulated_cart.h"
#include "graph/surface.h"

#include <cstdint>
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
};

// What the window does for グラフ and 最小２乗法 with `holes_per_section`: the analysis, the first
// drawing on `surface` (which decides the points inside the box) and the fit over those points.
// The truth is the cart's acceleration and its velocity at the trailing edge of hole 0.
FitOutcome analyse_recording(Recording &recording, std::int16_t holes_per_section, graph::Surface &surface);

}  // namespace bench
