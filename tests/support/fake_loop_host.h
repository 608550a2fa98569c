// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A loop host on a fake clock for tests. Each pump handles Qt's pending events, runs the scripted
// actions that are due and then moves the clock on by a fixed step; a blocking wait jumps the clock
// to its wake-up or to the next scripted action, and a quiet sleep jumps it to its end without
// handling anything. A sampling loop thus runs through its schedule in no real time at all.

#include "acquisition/loop_host.h"
#include "common/clock.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

namespace test_support {

class FakeLoopHost final : public acquisition::LoopHost {
public:
    // `start_ns`: the clock at the start; `step_ns`: how far each pump moves it.
    explicit FakeLoopHost(std::int64_t start_ns = 1'000'000'000, std::int64_t step_ns = 250'000);

    void pump_events() override;
    // Without blocking (the default) this is one pump, as on a host that can only poll. With
    // blocking it sleeps (moves the clock on) until `wake_ns` or the next scripted action in time,
    // whichever is first, as a real dispatcher sleeps until its timer or an event, and then
    // handles what is due.
    void wait_for_events(std::int64_t wake_ns) override;
    // Without blocking this is one pump too. With blocking it moves the clock to `wake_ns` without
    // pumping or running scripted actions (those that fall due meanwhile run at the next pump),
    // the last spin_lead_ns() of it counted as polling.
    void sleep_until(std::int64_t wake_ns) override;
    std::int64_t spin_lead_ns() const override { return std::min(spin_lead_ns_, spin_limit_ns_); }
    // Each limit asked for, in order.
    void limit_spin(std::int64_t limit_ns) override
    {
        spin_limit_ns_ = limit_ns;
        spin_limits_.push_back(limit_ns);
    }
    const std::vector<std::int64_t> &spin_limits() const { return spin_limits_; }
    void set_blocking(bool blocking) { blocking_ = blocking; }
    // The quiet sleep of this number (from 1) ends `late_ns` past its moment, as a system that
    // woke the thread late.
    void oversleep(std::int64_t sleep_number, std::int64_t late_ns)
    {
        oversleep_number_ = sleep_number;
        oversleep_ns_ = late_ns;
    }
    void set_spin_lead_ns(std::int64_t spin_lead_ns) { spin_lead_ns_ = spin_lead_ns; }

    common::FakeClock &fake_clock() { return clock_; }
    std::int64_t pumps() const { return pumps_; }
    std::int64_t blocking_waits() const { return blocking_waits_; }
    std::int64_t quiet_sleeps() const { return quiet_sleeps_; }
    // Clock time spent blocked in wait_for_events, asleep in sleep_until and polling at its end.
    std::int64_t blocked_ns() const { return blocked_ns_; }
    std::int64_t slept_ns() const { return slept_ns_; }
    std::int64_t spun_ns() const { return spun_ns_; }
    void set_step_ns(std::int64_t step_ns) { step_ns_ = step_ns; }

    // Runs `action` in the first pump at or after the given number of pumps.
    void at_pump(std::int64_t pump, std::function<void()> action);
    // Runs `action` in the first pump at which the clock has reached `ns`.
    void at_time_ns(std::int64_t ns, std::function<void()> action);

private:
    void handle_due();

    struct Action {
        bool by_time;
        std::int64_t when;
        std::function<void()> run;
        bool done = false;
    };
    // LoopHost only keeps a reference to the clock, so it may be bound before the clock is built.
    common::FakeClock clock_;
    std::int64_t step_ns_;
    std::int64_t pumps_ = 0;
    std::int64_t blocking_waits_ = 0;
    std::int64_t quiet_sleeps_ = 0;
    std::int64_t blocked_ns_ = 0;
    std::int64_t slept_ns_ = 0;
    std::int64_t spun_ns_ = 0;
    std::int64_t spin_lead_ns_ = 50'000;
    std::int64_t oversleep_number_ = 0;
    std::int64_t oversleep_ns_ = 0;
    std::int64_t spin_limit_ns_ = acquisition::kNoSpinLimit;
    std::vector<std::int64_t> spin_limits_;
    bool blocking_ = false;
    std::vector<Action> actions_;
};

}  // namespace test_support
