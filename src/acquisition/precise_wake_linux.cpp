// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// On Linux a timerfd, armed at an absolute time of the monotonic clock, wakes the event dispatcher
// within microseconds; a Qt timer counts whole milliseconds and would wake up to a millisecond off.

#include "acquisition/precise_wake.h"

#include <QSocketNotifier>

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>

namespace acquisition {

struct PreciseWake::Impl {
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;

    void drain()
    {
        std::uint64_t expirations = 0;
        [[maybe_unused]] const ssize_t ignored = ::read(fd, &expirations, sizeof expirations);
    }
};

PreciseWake::PreciseWake() : impl_(std::make_unique<Impl>())
{
    impl_->fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (impl_->fd < 0)
        return;
    impl_->notifier = std::make_unique<QSocketNotifier>(impl_->fd, QSocketNotifier::Read);
    Impl *impl = impl_.get();
    QObject::connect(impl_->notifier.get(), &QSocketNotifier::activated, [impl] { impl->drain(); });
}

PreciseWake::~PreciseWake()
{
    impl_->notifier.reset();
    if (impl_->fd >= 0)
        ::close(impl_->fd);
}

void PreciseWake::arm_in(std::int64_t delay_ns)
{
    if (impl_->fd < 0)
        return;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const std::int64_t at_ns
        = static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec + (delay_ns > 0 ? delay_ns : 1);
    itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(at_ns / 1'000'000'000);
    when.it_value.tv_nsec = static_cast<long>(at_ns % 1'000'000'000);
    ::timerfd_settime(impl_->fd, TFD_TIMER_ABSTIME, &when, nullptr);
}

void PreciseWake::disarm()
{
    if (impl_->fd < 0)
        return;
    const itimerspec off{};
    ::timerfd_settime(impl_->fd, TFD_TIMER_ABSTIME, &off, nullptr);
    impl_->drain();
}

}  // namespace acquisition
