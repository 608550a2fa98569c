// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The readings as they were taken: the raw trace of a measurement across the picture, and the
// sweep of the live view, two pixels per reading, that starts again at the left edge once it has
// passed the right edge.

#include "common/measurement_state.h"

#include <cstdint>

namespace graph {

class Surface;

// The height of reading 0 on the trace and the pixels per step of a reading.
inline constexpr double kTraceZeroY = 240;
inline constexpr double kTracePixelsPerReading = 0.8;
// The live sweep's pixels per reading.
inline constexpr std::int32_t kSweepPixelsPerReading = 2;

// Where the raw trace puts reading i of readings 0..last_sample across a picture `width` pixels
// wide: x = Int(width / last_sample x i), the division first.
std::int32_t trace_x(std::int32_t i, std::int32_t last_sample, std::int32_t width);
// The height of a reading on the trace: 0 at y = 240, 255 at y = 36 and -255 at y = 444.
std::int32_t trace_y(std::int32_t reading);

// Clears the picture and draws readings 0..last_sample as a red line across its width. A recording
// that ended early is drawn at the scale of the `planned_last_sample` it was meant to reach, so
// that the trace stops where the recording stopped.
void draw_raw_trace(Surface &surface, const common::MeasurementState &state);
void draw_raw_trace(Surface &surface, const common::MeasurementState &state, std::int32_t planned_last_sample);

// The sweep of one live run.
class LiveSweep {
public:
    // Draws one reading. When the last point drawn lies beyond the picture's width, the picture is
    // cleared first and the sweep restarts at x = 0. The first point of a sweep is a single pixel;
    // each later one is joined to the previous by a line.
    void draw(Surface &surface, std::int16_t reading);

    std::int32_t points_in_sweep() const { return index_; }
    std::int32_t last_x() const { return last_x_; }

private:
    std::int32_t index_ = 0;
    std::int32_t last_x_ = 0;
};

}  // namespace graph
