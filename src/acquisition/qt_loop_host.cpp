// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "acquisition/qt_loop_host.h"

#include <QCoreApplication>

namespace acquisition {

QtLoopHost::QtLoopHost(const common::Clock &clock) : LoopHost(clock) { }

void QtLoopHost::pump_events() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtLoopHost::wait_for_events(std::int64_t wake_ns)
{
    const std::int64_t delay_ns = wake_ns - clock().now_ns();
    if (delay_ns <= 0) {
        pump_events();
        return;
    }
    wake_.arm_in(delay_ns);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    wake_.disarm();
}

void QtLoopHost::sleep_until(std::int64_t wake_ns)
{
    // The sleep runs on the monotonic clock; the host's clock is the same clock in the program,
    // but the wake-up is carried over as a delay so that it holds for any clock. The host's clock
    // is read first, so the sleep never ends before `wake_ns`.
    const std::int64_t delay_ns = wake_ns - clock().now_ns();
    sleep_.sleep_until(monotonic_now_ns() + delay_ns);
    sleep_ended(clock().now_ns() - wake_ns);
}

}  // namespace acquisition
