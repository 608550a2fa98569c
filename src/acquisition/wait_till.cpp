#include "acquisition/wait_till.h"

namespace acquisition {

std::int64_t deadline_moment_ns(std::int64_t now_ns, common::Tick deadline)
{
    const std::int64_t now_ms = now_ns / 1'000'000;
    const std::int32_t remaining_ms = common::tick_difference(deadline, common::tick_from_ns(now_ns));
    return (now_ms + remaining_ms) * 1'000'000;
}

void wait_till(LoopHost &host, const common::Tick &next_time)
{
    host.pump_events();
    for (;;) {
        if (host.loops_cancelled())
            return;
        const std::int64_t now_ns = host.clock().now_ns();
        if (common::tick_reached(common::tick_from_ns(now_ns), next_time))
            return;
        const std::int64_t deadline_ns = deadline_moment_ns(now_ns, next_time);
        if (deadline_ns - now_ns > kBlockingThresholdNs)
            host.wait_for_events(deadline_ns - kWakeAheadNs);
        else
            host.pump_events();
    }
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
