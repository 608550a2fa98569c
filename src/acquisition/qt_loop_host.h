// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A loop host on a thread with Qt's event loop (the benchmarks'): the system's monotonic clock as
// tick counter, and Qt's event processing as the pump. Waiting blocks in the thread's event
// dispatcher until an event arrives or a precise wake-up fires; the quiet end of a wait sleeps on
// the system's precise timer. The program's own sampling thread uses ThreadLoopHost.

#include "acquisition/loop_host.h"
#include "acquisition/precise_sleep.h"
#include "acquisition/precise_wake.h"

namespace acquisition {

class QtLoopHost final : public LoopHost {
public:
    // Build it on the thread that waits.
    explicit QtLoopHost(const common::Clock &clock);
    void pump_events() override;
    void wait_for_events(std::int64_t wake_ns) override;
    void sleep_until(std::int64_t wake_ns) override;
    std::int64_t spin_lead_ns() const override { return sleep_.spin_lead_ns(); }
    void limit_spin(std::int64_t limit_ns) override { sleep_.limit_spin(limit_ns); }

    SleepTimer sleep_timer() const { return sleep_.timer(); }

private:
    PreciseWake wake_;
    PreciseSleep sleep_;
};

}  // namespace acquisition
