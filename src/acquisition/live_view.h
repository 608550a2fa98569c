// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The live view: each reading is the next point of a red trace that sweeps across the picture,
// two pixels per reading, and starts again at the left edge once it has passed the right edge.

#include "acquisition/loop_host.h"

#include <cstdint>
#include <functional>

namespace graph {
class Surface;
}

namespace acquisition {

// Set by the stop button, cleared when a live run starts; tested before every live reading.
extern std::int16_t stop_requested;

// The sweep of one live run.
class LiveSweep {
public:
    // Draws one reading. When the last point drawn lies beyond the picture's width, the picture is
    // cleared first and the sweep restarts at x = 0. The first point of a sweep is a single pixel;
    // each later one is joined to the previous by a line.
    void draw(graph::Surface &surface, std::int16_t reading);

    std::int32_t points_in_sweep() const { return index_; }
    std::int32_t last_x() const { return last_x_; }

private:
    std::int32_t index_ = 0;
    std::int32_t last_x_ = 0;
};

enum class LiveEnd {
    Stopped,    // stop_requested was set
    Ended,      // keep_going answered false after a reading
    Cancelled,  // the window is going away
};

// Runs a live view until stop_requested is set or the loops are cancelled: reads, draws and waits
// for the next deadline one period (read afresh through `period_ms`) after the previous one.
// `keep_going`, when given, is asked after each reading has been drawn; false ends the run there
// (a port whose lines have failed). The caller has opened the port, prepared the converter,
// cleared the picture and cleared stop_requested.
LiveEnd run_live_view(LoopHost &host, graph::Surface &surface, const std::function<std::int16_t()> &read_sample,
    const std::function<std::int32_t()> &period_ms, const std::function<bool()> &keep_going = {});

}  // namespace acquisition
