// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "graph/raw_trace.h"

#include "common/numeric.h"
#include "common/palette.h"
#include "graph/surface.h"

namespace graph {

std::int32_t trace_x(std::int32_t i, std::int32_t last_sample, std::int32_t width)
{
    if (last_sample <= 0)
        return 0;
    const double x = common::int_floor(static_cast<double>(width) / last_sample * i);
    return common::checked_integer<std::int32_t>(x).value_or(0);
}

std::int32_t trace_y(std::int32_t reading)
{
    return common::round_to_pixel(kTraceZeroY - reading * kTracePixelsPerReading);
}

void draw_raw_trace(Surface &surface, const common::MeasurementState &state)
{
    draw_raw_trace(surface, state, state.last_sample);
}

void draw_raw_trace(Surface &surface, const common::MeasurementState &state, std::int32_t planned_last_sample)
{
    surface.clear();
    const std::int32_t width = surface.width();
    for (std::int32_t i = 0; i <= state.last_sample; ++i) {
        const std::int32_t x = trace_x(i, planned_last_sample, width);
        const std::int32_t y = trace_y(state.samples[static_cast<std::size_t>(i)]);
        if (i == 0)
            surface.set_pixel(x, y, common::kBrightRed);
        else
            surface.line_to(x, y, common::kBrightRed);
    }
}

void LiveSweep::draw(Surface &surface, std::int16_t reading)
{
    if (surface.width() < last_x_) {
        surface.clear();
        index_ = 0;
    }
    const std::int32_t x = kSweepPixelsPerReading * index_;
    last_x_ = x;
    const std::int32_t y = trace_y(reading);
    if (index_ == 0)
        surface.set_pixel(x, y, common::kBrightRed);
    else
        surface.line_to(x, y, common::kBrightRed);
    ++index_;
}

}  // namespace graph
