// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The number conventions of the program. Stored values are 32-bit floats ("Single"), arithmetic on
// them runs in double precision, Int(x) is the floor, and any other conversion of a real value to an
// integer rounds to the nearest integer with halves going to the even neighbour.

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace common {

// Rounds a double-precision result to the 32-bit float in which it is stored; a value beyond the
// float range becomes an infinity of its sign, as the processor's own conversion gives.
inline float to_single(double value)
{
    constexpr double kLargest = std::numeric_limits<float>::max();
    if (value > kLargest || value < -kLargest) {
        // Round to nearest: up to half a unit beyond the largest float still gives the largest.
        const double halfway = kLargest + std::ldexp(1.0, std::numeric_limits<float>::max_exponent - 25);
        const float magnitude
            = std::fabs(value) < halfway ? std::numeric_limits<float>::max() : std::numeric_limits<float>::infinity();
        return value > 0 ? magnitude : -magnitude;
    }
    return static_cast<float>(value);
}

// Int(x): the greatest integer not above x, as a double (it may not fit any integer type).
inline double int_floor(double value) { return std::floor(value); }

// The nearest integer to x, halves to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2), as a double.
// Written out rather than left to the floating-point rounding mode, which a library may change.
inline double round_half_even(double value)
{
    const double lower = std::floor(value);
    const double fraction = value - lower;
    if (fraction > 0.5)
        return lower + 1.0;
    if (fraction < 0.5)
        return lower;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

// Converts an integral double to the integer type T when it is inside T's range; nothing otherwise
// (also for NaN and infinities).
template <typename T> std::optional<T> checked_integer(double integral_value)
{
    // The upper bound 2^digits is exact as a double, where max() itself may not be.
    if (!(integral_value >= static_cast<double>(std::numeric_limits<T>::min())
            && integral_value < std::ldexp(1.0, std::numeric_limits<T>::digits)))
        return std::nullopt;
    return static_cast<T>(integral_value);
}

// round_half_even into a 32-bit integer, clamped to its range (NaN gives 0). Used for pixel
// coordinates, where anything beyond the range is far off the picture anyway.
inline std::int32_t round_to_pixel(double value)
{
    if (std::isnan(value))
        return 0;
    const double rounded = round_half_even(value);
    if (rounded <= std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    if (rounded >= std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(rounded);
}

}  // namespace common
