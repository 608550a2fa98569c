// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "acquisition/live_view.h"

#include "acquisition/measurement.h"
#include "acquisition/wait_till.h"
#include "common/palette.h"
#include "graph/surface.h"

namespace acquisition {

std::int16_t stop_requested = 0;

void LiveSweep::draw(graph::Surface &surface, std::int16_t reading)
{
    if (surface.width() < last_x_) {
        surface.clear();
        index_ = 0;
    }
    const std::int32_t x = 2 * index_;
    last_x_ = x;
    const std::int32_t y = trace_y(reading);
    if (index_ == 0)
        surface.set_pixel(x, y, common::kBrightRed);
    else
        surface.line_to(x, y, common::kBrightRed);
    ++index_;
}

LiveEnd run_live_view(LoopHost &host, graph::Surface &surface, const std::function<std::int16_t()> &read_sample,
    const std::function<std::int32_t()> &period_ms, const std::function<bool()> &keep_going)
{
    ActiveLoop active(host);
    LiveSweep sweep;
    SamplingSchedule schedule(host);
    while (stop_requested == 0 && !host.loops_cancelled()) {
        const std::int16_t reading = read_sample();
        sweep.draw(surface, reading);
        if (keep_going && !keep_going())
            return LiveEnd::Ended;
        if (!schedule.wait_next(period_ms()))
            return LiveEnd::Cancelled;
    }
    return host.loops_cancelled() ? LiveEnd::Cancelled : LiveEnd::Stopped;
}

}  // namespace acquisition
