// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Every number the program shows as text goes through one of six patterns:
// "0.000", "##0.00", "0.0", "###", "###cm/s" and "###.#cm/ss".
//
//  - The value is rounded, halves away from zero, to as many decimals as the pattern has digit
//    places after its point (none without a point).
//  - A `0` place always shows a digit; a `#` place shows one only when it is significant: no leading
//    zeros before the point, no trailing zeros after it, and a whole part of 0 under `#` places
//    shows nothing ("###" of 0 is the empty text).
//  - More integer digits than places are all shown.
//  - The point is shown whenever the pattern has one ("###.#" of 100 is "100.").
//  - A negative value gets a leading minus sign.
//  - Every other character is copied unchanged ("###cm/s" of 20 is "20cm/s").
//
// The rounding works on the shortest decimal text that identifies the value in its own type, so
// that a float 0.15f or a double 0.15 rounds to one decimal as "0.2", as a person reading the
// number expects, and not by the binary residue below the last digit.

#include <string>
#include <string_view>

namespace common {

std::string format_number(double value, std::string_view pattern);
std::string format_number(float value, std::string_view pattern);

// The fitted line's values as the window prints them under the graph: "###cm/s" and "###.#cm/ss".
inline constexpr std::string_view kInitialVelocityPattern = "###cm/s";
inline constexpr std::string_view kAccelerationPattern = "###.#cm/ss";
inline std::string initial_velocity_text(float value) { return format_number(value, kInitialVelocityPattern); }
inline std::string acceleration_text(float value) { return format_number(value, kAccelerationPattern); }

}  // namespace common
