// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/holes_text.h"

#include "common/limits.h"
#include "common/numeric.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace analysis {
namespace {

constexpr char32_t kIdeographicSpace = U'\u3000';
constexpr char32_t kFullWidthPlus = U'\uFF0B';
constexpr char32_t kFullWidthMinus = U'\uFF0D';
constexpr char32_t kFullWidthPoint = U'\uFF0E';
constexpr char32_t kFullWidthZero = U'\uFF10';
constexpr char32_t kFullWidthNine = U'\uFF19';

// Decodes one code point of well-formed UTF-8 at `pos` and moves past it; nothing for a malformed,
// overlong or surrogate sequence.
std::optional<char32_t> next_code_point(std::string_view text, std::size_t &pos)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    int length = 0;
    char32_t code = 0;
    char32_t smallest = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1F;
        smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0F;
        smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07;
        smallest = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() - pos < static_cast<std::size_t>(length))
        return std::nullopt;
    for (int i = 1; i < length; ++i) {
        const auto continuation = static_cast<unsigned char>(text[pos + i]);
        if ((continuation & 0xC0) != 0x80)
            return std::nullopt;
        code = (code << 6) | (continuation & 0x3F);
    }
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return std::nullopt;
    pos += static_cast<std::size_t>(length);
    return code;
}

// The text with the full-width forms of digits, point and signs replaced by their ASCII forms and
// every blank replaced by an ASCII space. Any other character outside ASCII becomes '?', which no
// number contains. Nothing for text that is not UTF-8.
std::optional<std::string> to_ascii(std::string_view utf8_text)
{
    std::string ascii;
    ascii.reserve(utf8_text.size());
    std::size_t pos = 0;
    while (pos < utf8_text.size()) {
        const std::optional<char32_t> code = next_code_point(utf8_text, pos);
        if (!code)
            return std::nullopt;
        const char32_t c = *code;
        if (c == U'\t' || c == kIdeographicSpace)
            ascii += ' ';
        else if (c >= kFullWidthZero && c <= kFullWidthNine)
            ascii += static_cast<char>('0' + (c - kFullWidthZero));
        else if (c == kFullWidthPoint)
            ascii += '.';
        else if (c == kFullWidthPlus)
            ascii += '+';
        else if (c == kFullWidthMinus)
            ascii += '-';
        else if (c < 0x80)
            ascii += static_cast<char>(c);
        else
            ascii += '?';
    }
    return ascii;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// True for digits with at most one point and at least one digit.
bool is_plain_decimal(std::string_view text)
{
    bool seen_point = false;
    bool seen_digit = false;
    for (const char c : text) {
        if (is_digit(c)) {
            seen_digit = true;
        } else if (c == '.' && !seen_point) {
            seen_point = true;
        } else {
            return false;
        }
    }
    return seen_digit;
}

// The signed decimal number the text holds, by the rules of parse_holes_per_section.
std::optional<double> parse_decimal(std::string_view utf8_text)
{
    const std::optional<std::string> ascii = to_ascii(utf8_text);
    if (!ascii)
        return std::nullopt;
    std::string_view number(*ascii);
    const std::size_t first = number.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return std::nullopt;
    number = number.substr(first, number.find_last_not_of(' ') - first + 1);

    bool negative = false;
    if (number.front() == '+' || number.front() == '-') {
        negative = number.front() == '-';
        number.remove_prefix(1);
    }
    // The grammar is checked here so that from_chars sees nothing but plain decimal digits: it
    // would otherwise also take words such as "inf" and exponents.
    if (!is_plain_decimal(number))
        return std::nullopt;

    double magnitude = 0;
    const auto [end, error]
        = std::from_chars(number.data(), number.data() + number.size(), magnitude, std::chars_format::fixed);
    if (error != std::errc() || end != number.data() + number.size())
        return std::nullopt;

    return negative ? -magnitude : magnitude;
}

}  // namespace

std::optional<std::int16_t> parse_holes_per_section(std::string_view utf8_text)
{
    const std::optional<double> number = parse_decimal(utf8_text);
    if (!number)
        return std::nullopt;
    const double holes = common::round_half_even(*number);
    if (!(holes >= common::kFewestHolesPerSection && holes <= common::kMostHolesPerSection))
        return std::nullopt;
    return static_cast<std::int16_t>(holes);
}

std::optional<std::int32_t> parse_whole_number(std::string_view utf8_text)
{
    const std::optional<double> number = parse_decimal(utf8_text);
    if (!number || *number != std::floor(*number) || std::fabs(*number) > 1e9)
        return std::nullopt;
    return static_cast<std::int32_t>(*number);
}

}  // namespace analysis
