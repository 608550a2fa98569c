#pragma once

#include "acquisition/loop_host.h"
#include "common/ticks.h"

#include <cstdint>

namespace acquisition {

// Holds an absolute deadline on the tick counter while the window stays responsive: pumps the
// window's events at least once, even when the deadline has already passed, and returns once the
// counter has reached `next_time` (or the loops have been cancelled).
//
// A wait of more than about 2 ms sleeps inside the event pump, woken by any window event (handled
// at once) or by a precise timer set shortly before the deadline; the last stretch is polled, so
// the reading starts within microseconds of the moment the counter reaches the deadline. Short
// periods (1 or 2 ms) are therefore polled throughout. The timer is set a twentieth of the wait
// early, between 0.5 and 3 ms: a system that is slow to wake a sleeping program is then still
// early, and the polling costs no more than about a twentieth of a processor.
void wait_till(LoopHost &host, const common::Tick &next_time);

inline constexpr std::int64_t kMinWakeAheadNs = 500'000;
inline constexpr std::int64_t kMaxWakeAheadNs = 3'000'000;
inline constexpr std::int64_t kWakeAheadDivisor = 20;
// No sleep shorter than this: the wake-up itself may take that long.
inline constexpr std::int64_t kMinSleepNs = 1'500'000;

// How long before the deadline the wake-up of a wait of `wait_ns` is set.
std::int64_t wake_ahead_ns(std::int64_t wait_ns);

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
