#pragma once

#include "acquisition/loop_host.h"
#include "common/ticks.h"

#include <cstdint>

namespace acquisition {

// Holds an absolute deadline on the tick counter while the window stays responsive: pumps the
// window's events at least once, even when the deadline has already passed, and returns once the
// counter has reached `next_time` (or the loops have been cancelled).
void wait_till(LoopHost &host, const common::Tick &next_time);

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
