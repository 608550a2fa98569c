// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "acquisition/wait_till.h"

#include <algorithm>

namespace acquisition {

std::int64_t deadline_moment_ns(std::int64_t now_ns, common::Tick deadline)
{
    const std::int64_t now_ms = now_ns / 1'000'000;
    const std::int32_t remaining_ms = common::tick_difference(deadline, common::tick_from_ns(now_ns));
    return (now_ms + remaining_ms) * 1'000'000;
}

WaitPlan plan_wait(std::int64_t wait_ns, std::int64_t spin_lead_ns)
{
    WaitPlan plan;
    if (wait_ns <= 0)
        return plan;
    plan.dispatch_ns = std::max<std::int64_t>(wait_ns - kQuietSleepNs, 0);
    const std::int64_t quiet_ns = wait_ns - plan.dispatch_ns;
    plan.spin_ns = std::clamp<std::int64_t>(spin_lead_ns, 0, quiet_ns);
    plan.sleep_ns = quiet_ns - plan.spin_ns;
    return plan;
}

void WaitTill(LoopHost &host, const common::Tick &Next_time)
{
    host.pump_events();
    for (;;) {
        if (host.loops_cancelled())
            return;
        const std::int64_t now_ns = host.clock().now_ns();
        if (common::tick_reached(common::tick_from_ns(now_ns), Next_time))
            return;
        const std::int64_t deadline_ns = deadline_moment_ns(now_ns, Next_time);
        const WaitPlan plan = plan_wait(deadline_ns - now_ns, host.spin_lead_ns());
        if (plan.dispatch_ns > 0)
            host.wait_for_events(now_ns + plan.dispatch_ns);
        else
            host.sleep_until(deadline_ns);
    }
}

SamplingSchedule::SamplingSchedule(LoopHost &host) : host_(host), deadline_(host.tick_count()) { }

bool SamplingSchedule::wait_next(std::int32_t period_ms)
{
    deadline_ = common::tick_add(deadline_, period_ms);
    WaitTill(host_, deadline_);
    if (host_.loops_cancelled())
        return false;
    host_.pump_events();
    return !host_.loops_cancelled();
}

}  // namespace acquisition
