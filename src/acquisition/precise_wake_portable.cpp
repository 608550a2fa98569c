// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Elsewhere a precise Qt timer wakes the dispatcher. It counts whole milliseconds, so it is set
// to the whole milliseconds of the delay, at least one: it then fires up to a millisecond early or
// late, which the quiet end of the wait absorbs, and a wait never turns into a run of timers of
// 0 ms.

#include "acquisition/precise_wake.h"

#include <QTimer>

namespace acquisition {

struct PreciseWake::Impl {
    QTimer timer;
};

PreciseWake::PreciseWake() : impl_(std::make_unique<Impl>())
{
    impl_->timer.setSingleShot(true);
    impl_->timer.setTimerType(Qt::PreciseTimer);
}

PreciseWake::~PreciseWake() = default;

void PreciseWake::arm_in(std::int64_t delay_ns)
{
    const std::int64_t whole_ms = delay_ns / 1'000'000;
    impl_->timer.start(static_cast<int>(whole_ms > 1 ? whole_ms : 1));
}

void PreciseWake::disarm() { impl_->timer.stop(); }

}  // namespace acquisition
