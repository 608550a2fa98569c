// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "acquisition/loop_host.h"
#include "common/ticks.h"

#include <cstdint>

namespace acquisition {

// Holds an absolute deadline on the tick counter: lets the host handle its events at least once,
// even when the deadline has already passed, and returns once the counter has reached `Next_time`
// (or the loops have been cancelled).
//
// The loop runs on a thread of its own, and its host handles no event of the window's: in the
// program it has none to handle at all, since the runs poll their ports. A wait that served the
// window would be held up by anything the window waits for (a paint the display server is slow to
// take, a dialog, a screen capture by another program), and so would the reading after it, whose
// time the analysis takes as the cart's.
//
// While the deadline is more than kQuietSleepNs away, the wait blocks in the host's wait for
// events, woken by them (or by the loops' cancelling) or kQuietSleepNs before the deadline. The
// rest it sleeps without handling any, on a timer that wakes it shortly before the deadline, and
// polls the clock for the last stretch (tens of microseconds on Linux): the reading then starts
// within microseconds of the moment the counter reaches the deadline, and a 1 ms period costs a
// small share of a processor instead of all of it.
void WaitTill(LoopHost &host, const common::Tick &Next_time);

// Longest stretch at the end of a wait that sleeps without handling events. It also covers a
// wait for events that ends late, which on a busy machine may be a millisecond or more.
inline constexpr std::int64_t kQuietSleepNs = 2'000'000;

// How a wait of `wait_ns` (from now to the moment its deadline begins) is spent, in this order.
struct WaitPlan {
    std::int64_t dispatch_ns = 0;  // blocked in the host's wait for events, woken by them
    std::int64_t sleep_ns = 0;     // asleep without pumping
    std::int64_t spin_ns = 0;      // polling the clock without pumping
};
WaitPlan plan_wait(std::int64_t wait_ns, std::int64_t spin_lead_ns);

// The moment, on the clock, at which the millisecond counter reaches `deadline`, given the clock's
// time now. (The counter reads whole milliseconds of the clock.)
std::int64_t deadline_moment_ns(std::int64_t now_ns, common::Tick deadline);

// The deadline schedule that both sampling loops share. The first deadline is the tick count when
// the schedule starts; after each reading the deadline moves on by the period (read afresh each
// time, so a change of the period takes effect at the next deadline), the loop waits for it and
// pumps the events once more. Deadlines are absolute: a late reading does not shift the later ones,
// and the readings then run back to back until the schedule has caught up.
class SamplingSchedule {
public:
    explicit SamplingSchedule(LoopHost &host);

    // Waits for the next deadline; false when the loop must end because the window is going away.
    bool wait_next(std::int32_t period_ms);

    common::Tick deadline() const { return deadline_; }

private:
    LoopHost &host_;
    common::Tick deadline_;
};

}  // namespace acquisition
