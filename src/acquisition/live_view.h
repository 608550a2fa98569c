// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The loop of the live view: each reading is shown as it is taken, one period after the previous
// one, until the view is stopped.

#include "acquisition/loop_host.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace acquisition {

enum class LiveEnd {
    Stopped,    // the stop flag was set
    Ended,      // keep_going answered false after a reading
    Cancelled,  // the window is going away
};

// Runs a live view until `stop_requested` is set or the loops are cancelled: reads, shows and waits
// for the next deadline one period (read afresh through `period_ms`) after the previous one. The
// flag is tested before every reading. `keep_going`, when given, is asked after each reading has
// been shown; false ends the run there (a port whose lines have failed).
LiveEnd run_live_view(LoopHost &host, const std::function<std::int16_t()> &read_sample,
    const std::function<void(std::int16_t reading)> &show, const std::function<std::int32_t()> &period_ms,
    const std::atomic<std::int16_t> &stop_requested, const std::function<bool()> &keep_going = {});

}  // namespace acquisition
