// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The number of holes per section as the user types it into its text box.

#include <cstdint>
#include <optional>
#include <string_view>

namespace analysis {

// Reads the UTF-8 text as a decimal number and rounds it to the nearest integer, halves to even
// ("2.5" gives 2, "3.5" gives 4). Returns the result when it is a whole number from
// common::kFewestHolesPerSection to kMostHolesPerSection (1 to 32767), nothing otherwise: the
// grouping divides by it, and it is held as a 16-bit integer.
//
// Accepted: an optional sign followed by digits with at most one decimal point and at least one
// digit ("3", "+3", "3.", ".7", "-0.4"), with blanks around it (ASCII space, tab, and the
// ideographic space U+3000). The full-width digits U+FF10..U+FF19 and the full-width '.', '+' and '-' typed with a
// Japanese input method count as their ASCII forms, so "３" gives 3. Rejected: empty or blank text, letters, words such
// as "inf" or "nan", exponents ("1e1"), blanks inside the number, more than one sign or point, text that is not valid
// UTF-8, and any value that rounds to 0, a negative number or more than 32767.
std::optional<std::int16_t> parse_holes_per_section(std::string_view utf8_text);

// The whole number that the text holds, by the same rules ("12", " ３ ", "-4", "7."); nothing for a
// fraction, anything that is not a number, or a magnitude beyond 10^9.
std::optional<std::int32_t> parse_whole_number(std::string_view utf8_text);

}  // namespace analysis
