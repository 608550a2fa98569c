// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// What a sampling loop needs from its surroundings: the millisecond tick counter and a way to
// handle the pending events of the thread it runs on. The program's sampling thread has none to
// handle (ThreadLoopHost); a loop on a thread with an event loop pumps it (QtLoopHost, in the
// benchmarks); tests supply a fake clock and a pump that runs scripted events.

#include "common/clock.h"
#include "common/ticks.h"

#include <atomic>
#include <cstdint>
#include <limits>

namespace acquisition {

class PrioritySystem;

// No limit on how long the end of a sleep is polled.
inline constexpr std::int64_t kNoSpinLimit = std::numeric_limits<std::int64_t>::max();

class LoopHost {
public:
    explicit LoopHost(const common::Clock &clock) : clock_(clock) { }
    virtual ~LoopHost() = default;

    const common::Clock &clock() const { return clock_; }
    // The millisecond tick counter, a signed 32-bit value.
    common::Tick tick_count() const { return common::tick_from_ns(clock_.now_ns()); }

    // Handles the thread's pending events once, without waiting for new ones.
    virtual void pump_events() = 0;

    // Waits until an event of the thread arrives or the clock reaches `wake_ns` (on clock()), whichever is
    // first, and handles the events that arrived. A host that cannot block simply pumps once, and
    // the caller goes on polling.
    virtual void wait_for_events(std::int64_t wake_ns)
    {
        (void)wake_ns;
        pump_events();
    }

    // Sleeps without handling any event until the clock reaches `wake_ns`, and never returns
    // before it: the system wakes the thread shortly before, and the last spin_lead_ns() is spent
    // polling the clock. A host that cannot sleep simply pumps once, and the caller goes on polling.
    virtual void sleep_until(std::int64_t wake_ns)
    {
        (void)wake_ns;
        pump_events();
    }
    virtual std::int64_t spin_lead_ns() const { return 0; }
    // Polls the end of a sleep for `limit_ns` at most, until lifted with kNoSpinLimit: a thread
    // under a real-time policy must not hold the processor, and the live view need not be exact
    // to the microsecond.
    virtual void limit_spin(std::int64_t limit_ns) { (void)limit_ns; }

    // The calls through which a run asks the system for its priority; none asks for nothing.
    PrioritySystem *priority_system() const { return priority_system_; }
    void set_priority_system(PrioritySystem *system) { priority_system_ = system; }

    // How many quiet sleeps have ended, and how late past the moment it was asked for the system
    // woke the thread from the last one: time in which the program had nothing of its own to do.
    std::int64_t sleeps() const { return sleeps_; }
    std::int64_t last_sleep_late_ns() const { return last_sleep_late_ns_; }

    // Set when the window is going away: every loop ends at its next test without touching the
    // window again, and no further reading is taken; a loop waiting for its next deadline hears it
    // at once. Either thread may set or ask it.
    void cancel_loops()
    {
        cancelled_.store(true);
        wake_waits();
    }
    bool loops_cancelled() const { return cancelled_.load(); }
    // Number of sampling loops running (a live run may be nested in a measurement).
    int active_loops() const { return active_loops_.load(); }

protected:
    // Ends a wait for events at once, from any thread; a host whose waits block overrides it.
    virtual void wake_waits() { }
    // Called by a host's sleep_until as it returns.
    void sleep_ended(std::int64_t late_ns)
    {
        ++sleeps_;
        last_sleep_late_ns_ = late_ns > 0 ? late_ns : 0;
    }

private:
    friend class ActiveLoop;
    const common::Clock &clock_;
    PrioritySystem *priority_system_ = nullptr;
    std::int64_t sleeps_ = 0;
    std::int64_t last_sleep_late_ns_ = 0;
    std::atomic<bool> cancelled_{false};
    std::atomic<int> active_loops_{0};
};

// Counts a running loop for as long as it lives.
class ActiveLoop {
public:
    explicit ActiveLoop(LoopHost &host) : host_(host) { ++host_.active_loops_; }
    ~ActiveLoop() { --host_.active_loops_; }
    ActiveLoop(const ActiveLoop &) = delete;
    ActiveLoop &operator=(const ActiveLoop &) = delete;

private:
    LoopHost &host_;
};

}  // namespace acquisition
