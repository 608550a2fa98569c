#include "acquisition/wait_till.h"

namespace acquisition {

void wait_till(LoopHost &host, const common::Tick &next_time)
{
    do {
        host.pump_events();
        if (host.loops_cancelled())
            return;
    } while (!common::tick_reached(host.tick_count(), next_time));
}

SamplingSchedule::SamplingSchedule(LoopHost &host) : host_(host), deadline_(host.tick_count()) { }

bool SamplingSchedule::wait_next(std::int32_t period_ms)
{
    deadline_ = common::tick_add(deadline_, period_ms);
    wait_till(host_, deadline_);
    if (host_.loops_cancelled())
        return false;
    host_.pump_events();
    return !host_.loops_cancelled();
}

}  // namespace acquisition
