// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A monotonic clock in nanoseconds. The millisecond tick counter of the sampling loops and the
// simulated cart both read it, so a simulated measurement sees the cart move in real time, and a
// test drives both from one fake clock.

#include <chrono>
#include <cstdint>

namespace common {

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::int64_t now_ns() const = 0;
};

// The system's monotonic clock (time since system start on Linux).
class SteadyClock final : public Clock {
public:
    std::int64_t now_ns() const override
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

// A clock that moves only when told to.
class FakeClock final : public Clock {
public:
    explicit FakeClock(std::int64_t start_ns = 0) : now_(start_ns) { }
    std::int64_t now_ns() const override { return now_; }
    void advance_ns(std::int64_t ns) { now_ += ns; }
    void advance_ms(double ms) { now_ += static_cast<std::int64_t>(ms * 1e6); }
    void set_ns(std::int64_t ns) { now_ = ns; }

private:
    std::int64_t now_;
};

}  // namespace common
