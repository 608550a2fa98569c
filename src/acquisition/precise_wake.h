// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A wake-up of the event pump at a precise moment of the monotonic clock. While armed, the event
// dispatcher returns from a blocking wait at that moment (or earlier, for any other event).

#include <QObject>

#include <cstdint>
#include <memory>

namespace acquisition {

class PreciseWake {
public:
    PreciseWake();
    ~PreciseWake();
    PreciseWake(const PreciseWake &) = delete;
    PreciseWake &operator=(const PreciseWake &) = delete;

    // Arms the wake-up `delay_ns` from now; replaces an earlier arming.
    void arm_in(std::int64_t delay_ns);
    // Disarms it and forgets a wake-up that has fired but not been handled.
    void disarm();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace acquisition
