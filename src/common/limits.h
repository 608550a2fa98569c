// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The limits of what the window measures and analyses, declared once: the scroll bars take their
// ranges from here, the files are checked against them, and the messages quote them.

#include "common/measurement_state.h"

#include <cstdint>
#include <limits>

namespace common {

// 計測周期 (HScroll1), in ms.
inline constexpr std::int32_t kShortestPeriodMs = 1;
inline constexpr std::int32_t kLongestPeriodMs = 1000;
// 計測時間 (HScroll2), in whole seconds.
inline constexpr std::int32_t kShortestTimeS = 1;
inline constexpr std::int32_t kLongestTimeS = 10;
// N, the index of the last reading: the most readings a second times the longest time.
inline constexpr std::int32_t kLargestLastSample = 1000 / kShortestPeriodMs * kLongestTimeS;
// A converter reading lies in -255..255.
inline constexpr std::int32_t kLargestReading = 255;
// 1区間の穴数: the bar (HScroll3) offers 1..10; a typed value may go up to the largest 16-bit
// integer, in which it is held.
inline constexpr std::int32_t kFewestHolesPerSection = 1;
inline constexpr std::int32_t kMostHolesOnBar = 10;
inline constexpr std::int32_t kMostHolesPerSection = 32767;

// Readings 0..N must fit the sample table, and their index is a 16-bit integer in the loop.
static_assert(kLargestLastSample >= 1 && kLargestLastSample < kSampleTableSize);
static_assert(kLargestLastSample <= std::numeric_limits<std::int16_t>::max());
// The settings are held as 16-bit integers.
static_assert(kLongestPeriodMs <= std::numeric_limits<std::int16_t>::max());
static_assert(kMostHolesPerSection <= std::numeric_limits<std::int16_t>::max());
static_assert(kFewestHolesPerSection >= 1 && kMostHolesOnBar <= kMostHolesPerSection);
static_assert(kShortestPeriodMs >= 1 && kShortestTimeS >= 1);

}  // namespace common
