// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "fake_loop_host.h"

#include <QCoreApplication>

#include <algorithm>

namespace test_support {

FakeLoopHost::FakeLoopHost(std::int64_t start_ns, std::int64_t step_ns)
    : acquisition::LoopHost(clock_), clock_(start_ns), step_ns_(step_ns)
{ }

void FakeLoopHost::pump_events()
{
    ++pumps_;
    handle_due();
    clock_.advance_ns(step_ns_);
}

void FakeLoopHost::wait_for_events(std::int64_t wake_ns)
{
    if (!blocking_) {
        pump_events();
        return;
    }
    ++blocking_waits_;
    // Events already pending wake a real dispatcher at once.
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    std::int64_t until = wake_ns;
    for (const Action &action : actions_)
        if (!action.done && action.by_time && action.when < until)
            until = action.when;
    if (until > clock_.now_ns()) {
        blocked_ns_ += until - clock_.now_ns();
        clock_.set_ns(until);
    }
    handle_due();
}

void FakeLoopHost::sleep_until(std::int64_t wake_ns)
{
    if (!blocking_) {
        pump_events();
        return;
    }
    ++quiet_sleeps_;
    const std::int64_t quiet_ns = std::max<std::int64_t>(wake_ns - clock_.now_ns(), 0);
    const std::int64_t spin_ns = std::min(quiet_ns, spin_lead_ns());
    slept_ns_ += quiet_ns - spin_ns;
    spun_ns_ += spin_ns;
    clock_.advance_ns(quiet_ns);
    const std::int64_t late_ns = quiet_sleeps_ == oversleep_number_ ? oversleep_ns_ : 0;
    clock_.advance_ns(late_ns);
    sleep_ended(late_ns);
}

void FakeLoopHost::handle_due()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    for (std::size_t i = 0; i < actions_.size(); ++i) {
        Action &action = actions_[i];
        if (action.done)
            continue;
        const bool due = action.by_time ? clock_.now_ns() >= action.when : pumps_ >= action.when;
        if (due) {
            action.done = true;
            auto run = action.run;  // the action may add actions
            run();
        }
    }
}

void FakeLoopHost::at_pump(std::int64_t pump, std::function<void()> action)
{
    actions_.push_back({false, pump, std::move(action)});
}

void FakeLoopHost::at_time_ns(std::int64_t ns, std::function<void()> action)
{
    actions_.push_back({true, ns, std::move(action)});
}

}  // namespace test_support
