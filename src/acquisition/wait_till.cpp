#include "acquisition/wait_till.h"

#include <algorithm>

namespace acquisition {

std::int64_t deadline_moment_ns(std::int64_t now_ns, common::Tick deadline)
{
    const std::int64_t now_ms = now_ns / 1'000'000;
    const std::int32_t remaining_ms = common::tick_difference(deadline, common::tick_from_ns(now_ns));
    return (now_ms + remaining_ms) * 1'000'000;
}

std::int64_t wake_ahead_ns(std::int64_t wait_ns)
{
    return std::clamp(wait_ns / kWakeAheadDivisor, kMinWakeAheadNs, kMaxWakeAheadNs);
}

void wait_till(LoopHost &host, const common::Tick &next_time)
{
    host.pump_events();
    std::int64_t wake_ns = 0;
    bool planned = false;
    for (;;) {
        if (host.loops_cancelled())
            return;
        const std::int64_t now_ns = host.clock().now_ns();
        if (common::tick_reached(common::tick_from_ns(now_ns), next_time))
            return;
        if (!planned) {
            // The wake-up is planned once, from the whole wait, so that waking early for a long
            // wait is not undone by sleeping again on the short rest.
            const std::int64_t deadline_ns = deadline_moment_ns(now_ns, next_time);
            wake_ns = deadline_ns - wake_ahead_ns(deadline_ns - now_ns);
            planned = true;
        }
        if (wake_ns - now_ns > kMinSleepNs)
            host.wait_for_events(wake_ns);
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
