// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A sleep that ends at a precise moment of the monotonic clock and handles no window event: the
// system's timer wakes the thread shortly before the moment, and the last stretch is spent polling
// the clock. The clock is common::SteadyClock's: CLOCK_MONOTONIC on Linux, QueryPerformanceCounter
// under MinGW. Nothing here uses Qt, so the Windows build runs it under Wine.

#include "acquisition/loop_host.h"

#include <algorithm>
#include <cstdint>
#include <memory>

namespace acquisition {

// The system timer that wakes a precise sleep, best first.
enum class SleepTimer {
    Monotonic,       // clock_nanosleep on the monotonic clock (Linux: to an absolute deadline)
    HighResolution,  // Windows 10 1803 and later: a high-resolution waitable timer
    Millisecond,     // Windows: an ordinary waitable timer, with the system timer at 1 ms
    SleepCall,       // Windows: Sleep in whole milliseconds, with the system timer at 1 ms
    // Under Wine: ntdll's delay, which Wine serves with the host's own sleep to the microsecond,
    // where its waitable timers go through its server and wake the thread milliseconds late.
    HostDelay,
};

#ifdef _WIN32
inline constexpr SleepTimer kBestSleepTimer = SleepTimer::HighResolution;
#else
inline constexpr SleepTimer kBestSleepTimer = SleepTimer::Monotonic;
#endif

// How long before the moment a sleep lets the system wake the thread: about the 99th percentile of
// how late the system has woken it so far, within fixed bounds. A wake-up later than the lead
// raises it by a step 99 times the step by which any other wake-up lowers it, so a lead that more
// than one wake-up in a hundred overruns grows and any other shrinks. One stall of the machine
// raises it by one step only.
class SpinLead {
public:
    static constexpr std::int64_t kDownStepNs = 200;
    static constexpr std::int64_t kUpStepNs = 99 * kDownStepNs;

    SpinLead(std::int64_t start_ns, std::int64_t min_ns, std::int64_t max_ns);

    std::int64_t ns() const { return std::min(lead_ns_, limit_ns_); }
    // Notes how late the system woke the thread after the moment it was asked for (negative when
    // it woke early).
    void observe(std::int64_t late_ns);
    // Holds the lead at `limit_ns` at most (never below the lower bound) until the limit is lifted
    // with kNoSpinLimit: what it has learnt meanwhile is kept.
    void limit(std::int64_t limit_ns);

private:
    std::int64_t lead_ns_;
    std::int64_t min_ns_;
    std::int64_t max_ns_;
    std::int64_t limit_ns_;
};

class PreciseSleep {
public:
    // Takes the first timer from `preferred` on (in the order of SleepTimer) that the system
    // grants; a lesser one than the best only to check the fallbacks. Build it on the thread that
    // sleeps: on Linux it lowers that thread's timer slack for as long as it lives.
    explicit PreciseSleep(SleepTimer preferred = kBestSleepTimer);
    ~PreciseSleep();
    PreciseSleep(const PreciseSleep &) = delete;
    PreciseSleep &operator=(const PreciseSleep &) = delete;

    // Returns once the monotonic clock (ns of common::SteadyClock) has reached `until_ns`, never
    // before; at once when it already has.
    void sleep_until(std::int64_t until_ns);

    SleepTimer timer() const { return timer_; }
    // How much of a sleep, at its end, is spent polling the clock.
    std::int64_t spin_lead_ns() const { return lead_.ns(); }
    void limit_spin(std::int64_t limit_ns) { lead_.limit(limit_ns); }

private:
    struct System;
    // Sleeps until about `wake_ns` on the system's timer; may return late, or early when it was
    // interrupted or the timer counts whole milliseconds.
    void system_sleep_until(std::int64_t wake_ns, std::int64_t now_ns);

    std::unique_ptr<System> system_;  // the timer's handles; built first, it chooses the timer
    SleepTimer timer_;
    SpinLead lead_;
};

// The monotonic clock of common::SteadyClock, in ns.
std::int64_t monotonic_now_ns();

}  // namespace acquisition
