// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// On Linux the thread sleeps on an absolute deadline of the monotonic clock, which is also the
// clock of std::chrono::steady_clock, with its timer slack lowered: the kernel would otherwise let
// the wake-up slip by up to 50 µs to gather it with others.

#include "acquisition/precise_sleep.h"

#include <sys/prctl.h>
#include <time.h>

#include <cerrno>

namespace acquisition {
namespace {

constexpr unsigned long kTimerSlackNs = 1'000;

// The wake-up usually comes some 10 µs late on a quiet computer and 30 to 120 µs late in a virtual
// machine; the lead starts at 50 µs and learns. Beyond half a millisecond the lateness comes from
// other programs holding the processor, which polling longer does not help against.
constexpr std::int64_t kStartLeadNs = 50'000;
constexpr std::int64_t kMinLeadNs = 20'000;
constexpr std::int64_t kMaxLeadNs = 500'000;

}  // namespace

struct PreciseSleep::System {
    int previous_slack_ns = -1;
};

PreciseSleep::PreciseSleep(SleepTimer)
    : system_(std::make_unique<System>()), timer_(SleepTimer::Monotonic), lead_(kStartLeadNs, kMinLeadNs, kMaxLeadNs)
{
    system_->previous_slack_ns = ::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    ::prctl(PR_SET_TIMERSLACK, kTimerSlackNs, 0, 0, 0);
}

PreciseSleep::~PreciseSleep()
{
    if (system_->previous_slack_ns > 0)
        ::prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(system_->previous_slack_ns), 0, 0, 0);
}

void PreciseSleep::system_sleep_until(std::int64_t wake_ns, std::int64_t)
{
    timespec at{};
    at.tv_sec = static_cast<time_t>(wake_ns / 1'000'000'000);
    at.tv_nsec = static_cast<long>(wake_ns % 1'000'000'000);
    // A signal interrupts the sleep; the deadline is absolute, so it simply sleeps on.
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) { }
}

}  // namespace acquisition
