// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A part of a run that the student chose, in the times the section tables use.

namespace common {

// A span of a run's time, in s from its first counted edge: start < end.
struct TimeRange {
    double start_s = 0;
    double end_s = 0;
    bool operator==(const TimeRange &) const = default;
};

}  // namespace common
