// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The millisecond tick counter is a signed 32-bit value that wraps about every 24.8 days.
// Deadlines are compared by the sign of the 32-bit difference, so the comparison stays right
// across the wrap and never relies on signed overflow.

#include <cstdint>

namespace common {

using Tick = std::int32_t;

// a - b, wrapped to 32 bits.
constexpr std::int32_t tick_difference(Tick a, Tick b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

// deadline + period_ms, wrapped to 32 bits.
constexpr Tick tick_add(Tick deadline, std::int32_t period_ms)
{
    return static_cast<Tick>(static_cast<std::uint32_t>(deadline) + static_cast<std::uint32_t>(period_ms));
}

// True once the counter `now` has reached `deadline`.
constexpr bool tick_reached(Tick now, Tick deadline) { return tick_difference(now, deadline) >= 0; }

// The tick counter for a monotonic time in nanoseconds: whole milliseconds, truncated to 32 bits.
constexpr Tick tick_from_ns(std::int64_t monotonic_ns)
{
    return static_cast<Tick>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(monotonic_ns / 1'000'000)));
}

}  // namespace common
