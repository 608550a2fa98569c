// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The loop host of the sampling thread: the system's monotonic clock as tick counter, and no
// events to handle. The runs poll their ports (the converter's lines, the board's bytes) and need
// no event dispatcher; a call into one would only cost time at every period, and under Wine it is a
// request to Wine's server that may hold a reading up by milliseconds. A wait sleeps until its
// moment or until the loops are cancelled; the quiet end of a wait sleeps on the system's precise
// timer, as QtLoopHost's does.

#include "acquisition/loop_host.h"
#include "acquisition/precise_sleep.h"

#include <condition_variable>
#include <mutex>

namespace acquisition {

class ThreadLoopHost final : public LoopHost {
public:
    // Build it on the thread that waits: the precise sleep's settings are that thread's.
    explicit ThreadLoopHost(const common::Clock &clock);
    void pump_events() override { }
    void wait_for_events(std::int64_t wake_ns) override;
    void sleep_until(std::int64_t wake_ns) override;
    std::int64_t spin_lead_ns() const override { return sleep_.spin_lead_ns(); }
    void limit_spin(std::int64_t limit_ns) override { sleep_.limit_spin(limit_ns); }

    SleepTimer sleep_timer() const { return sleep_.timer(); }

protected:
    void wake_waits() override;

private:
    PreciseSleep sleep_;
    std::mutex mutex_;
    std::condition_variable cancelled_;
};

}  // namespace acquisition
