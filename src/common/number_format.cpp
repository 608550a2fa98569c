// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "common/number_format.h"

#include <array>
#include <charconv>
#include <cmath>

namespace common {
namespace {

struct Pattern {
    std::string_view before;  // copied text in front of the number
    std::string_view after;   // copied text behind the number
    int min_integer_digits = 0;
    bool has_point = false;
    int decimals = 0;
    int min_decimals = 0;
};

bool is_number_char(char c) { return c == '#' || c == '0' || c == '.'; }

Pattern parse_pattern(std::string_view text)
{
    Pattern pattern;
    std::size_t begin = 0;
    while (begin < text.size() && !is_number_char(text[begin]))
        ++begin;
    std::size_t end = begin;
    while (end < text.size() && is_number_char(text[end]))
        ++end;
    pattern.before = text.substr(0, begin);
    pattern.after = text.substr(end);

    const std::string_view places = text.substr(begin, end - begin);
    const std::size_t point = places.find('.');
    const std::string_view integer_places = places.substr(0, point);
    const std::size_t first_zero = integer_places.find('0');
    if (first_zero != std::string_view::npos)
        pattern.min_integer_digits = static_cast<int>(integer_places.size() - first_zero);
    if (point != std::string_view::npos) {
        pattern.has_point = true;
        const std::string_view decimal_places = places.substr(point + 1);
        pattern.decimals = static_cast<int>(decimal_places.size());
        const std::size_t last_zero = decimal_places.rfind('0');
        if (last_zero != std::string_view::npos)
            pattern.min_decimals = static_cast<int>(last_zero + 1);
    }
    return pattern;
}

// Adds one unit in the last place of a string of decimal digits; returns false on a carry out.
bool increment_digits(std::string &digits)
{
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return true;
        }
        *it = '0';
    }
    return false;
}

// `shortest` is the value's shortest round-trip text in fixed notation, without a sign.
std::string format_digits(bool negative, std::string_view shortest, const Pattern &pattern)
{
    const std::size_t point = shortest.find('.');
    std::string integer(shortest.substr(0, point));
    std::string fraction(point == std::string_view::npos ? std::string_view{} : shortest.substr(point + 1));

    // Round the magnitude half away from zero to the pattern's number of decimals.
    const auto decimals = static_cast<std::size_t>(pattern.decimals);
    if (fraction.size() > decimals) {
        const bool round_up = fraction[decimals] >= '5';
        fraction.resize(decimals);
        if (round_up && !increment_digits(fraction) && !increment_digits(integer))
            integer.insert(integer.begin(), '1');
    }
    fraction.resize(decimals, '0');

    const std::size_t significant = integer.find_first_not_of('0');
    integer.erase(0, significant == std::string::npos ? integer.size() : significant);
    if (integer.size() < static_cast<std::size_t>(pattern.min_integer_digits))
        integer.insert(0, pattern.min_integer_digits - integer.size(), '0');

    std::size_t kept = fraction.size();
    while (kept > static_cast<std::size_t>(pattern.min_decimals) && fraction[kept - 1] == '0')
        --kept;
    fraction.resize(kept);

    std::string text;
    if (negative)
        text += '-';
    text += pattern.before;
    text += integer;
    if (pattern.has_point)
        text += '.';
    text += fraction;
    text += pattern.after;
    return text;
}

template <typename Real> std::string format_real(Real value, std::string_view pattern_text)
{
    const Pattern pattern = parse_pattern(pattern_text);
    if (!std::isfinite(value)) {
        // No pattern has a place for these; say plainly what the value is.
        const char *word = std::isnan(value) ? "NaN" : (value < 0 ? "-Inf" : "Inf");
        return std::string(pattern.before) + word + std::string(pattern.after);
    }
    // Shortest fixed notation of the largest double needs 309 digits; leave room.
    std::array<char, 400> buffer{};
    const auto result
        = std::to_chars(buffer.data(), buffer.data() + buffer.size(), std::fabs(value), std::chars_format::fixed);
    const std::string_view shortest(buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data()));
    return format_digits(value < 0, shortest, pattern);
}

}  // namespace

std::string format_number(double value, std::string_view pattern) { return format_real(value, pattern); }

std::string format_number(float value, std::string_view pattern) { return format_real(value, pattern); }

}  // namespace common
