// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// On other POSIX systems the thread sleeps for the time left on the monotonic clock; such a sleep
// may end early when a signal arrives, and then the caller polls the rest.

#include "acquisition/precise_sleep.h"

#include <time.h>

namespace acquisition {
namespace {

constexpr std::int64_t kStartLeadNs = 200'000;
constexpr std::int64_t kMinLeadNs = 20'000;
constexpr std::int64_t kMaxLeadNs = 2'000'000;

}  // namespace

struct PreciseSleep::System { };

PreciseSleep::PreciseSleep(SleepTimer)
    : system_(std::make_unique<System>()), timer_(SleepTimer::Monotonic), lead_(kStartLeadNs, kMinLeadNs, kMaxLeadNs)
{ }

PreciseSleep::~PreciseSleep() = default;

void PreciseSleep::system_sleep_until(std::int64_t wake_ns, std::int64_t now_ns)
{
    const std::int64_t delay_ns = wake_ns - now_ns;
    timespec delay{};
    delay.tv_sec = static_cast<time_t>(delay_ns / 1'000'000'000);
    delay.tv_nsec = static_cast<long>(delay_ns % 1'000'000'000);
    ::nanosleep(&delay, nullptr);
}

}  // namespace acquisition
