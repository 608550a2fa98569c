// Elsewhere a precise Qt timer wakes the dispatcher. It counts whole milliseconds and may fire up
// to about a millisecond late, so it is set a millisecond early; the caller polls the rest.

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
    const std::int64_t whole_ms = delay_ns / 1'000'000 - 1;
    impl_->timer.start(static_cast<int>(whole_ms > 0 ? whole_ms : 0));
}

void PreciseWake::disarm() { impl_->timer.stop(); }

}  // namespace acquisition
