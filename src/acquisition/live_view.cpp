// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "acquisition/live_view.h"

#include "acquisition/wait_till.h"

namespace acquisition {

LiveEnd run_live_view(LoopHost &host, const std::function<std::int16_t()> &read_sample,
    const std::function<void(std::int16_t reading)> &show, const std::function<std::int32_t()> &period_ms,
    const std::atomic<std::int16_t> &stop_requested, const std::function<bool()> &keep_going)
{
    ActiveLoop active(host);
    SamplingSchedule schedule(host);
    while (stop_requested == 0 && !host.loops_cancelled()) {
        const std::int16_t reading = read_sample();
        show(reading);
        if (keep_going && !keep_going())
            return LiveEnd::Ended;
        if (!schedule.wait_next(period_ms()))
            return LiveEnd::Cancelled;
    }
    return host.loops_cancelled() ? LiveEnd::Cancelled : LiveEnd::Stopped;
}

}  // namespace acquisition
