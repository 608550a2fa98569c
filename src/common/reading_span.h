// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A run of readings of a recording, by their indices: the readings that came late, the readings
// whose times are not sure.

#include <cstdint>

namespace common {

// Readings first..last, both included; first <= last.
struct ReadingSpan {
    std::int32_t first = 0;
    std::int32_t last = 0;
    bool operator==(const ReadingSpan &) const = default;
};

}  // namespace common
