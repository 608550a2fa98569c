// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "acquisition/thread_loop_host.h"

#include <chrono>

namespace acquisition {

ThreadLoopHost::ThreadLoopHost(const common::Clock &clock) : LoopHost(clock) { }

void ThreadLoopHost::wait_for_events(std::int64_t wake_ns)
{
    const std::int64_t delay_ns = wake_ns - clock().now_ns();
    if (delay_ns <= 0)
        return;
    std::unique_lock lock(mutex_);
    cancelled_.wait_for(lock, std::chrono::nanoseconds(delay_ns), [this] { return loops_cancelled(); });
}

void ThreadLoopHost::sleep_until(std::int64_t wake_ns)
{
    // As QtLoopHost: the host's clock is read first, so the sleep never ends before `wake_ns`.
    const std::int64_t delay_ns = wake_ns - clock().now_ns();
    sleep_.sleep_until(monotonic_now_ns() + delay_ns);
    sleep_ended(clock().now_ns() - wake_ns);
}

void ThreadLoopHost::wake_waits()
{
    // Taken so that a wait that has just tested the flag is already waiting when it is told.
    const std::lock_guard lock(mutex_);
    cancelled_.notify_all();
}

}  // namespace acquisition
