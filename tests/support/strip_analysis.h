// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Strip analyses made by hand: pulses and holes where a test wants them.

#include "analysis/strip_check.h"

#include <QList>

namespace support {

using Ints = QList<int>;

// A strip analysis of pulses falling at `falling` (sample indices), each light for `light`
// readings before (0: its rising edge unknown), at the given pitches (-1: no hole's own, and the
// light after it no hole's either), with the sections of one hole each unless told otherwise,
// and the cart turning after hole `before_turn` - 1 (-1: never).
inline analysis::StripAnalysis strip(
    const Ints &falling, int light, const Ints &pitches, float rate, int holes = 1, int before_turn = -1)
{
    analysis::StripAnalysis result;
    for (const int edge : falling)
        result.pulses.push_back({light > 0 ? edge - light : -1, edge});
    result.check.edge_pitch.assign(pitches.begin(), pitches.end());
    for (qsizetype j = 0; j < falling.size(); ++j) {
        if (pitches[j] < 0)
            continue;
        const bool own_light = light > 0 && (j == 0 || pitches[j - 1] >= 0);
        result.check.holes.push_back({static_cast<double>(falling[j]), own_light ? falling[j] - light : -1.0,
            pitches[j], static_cast<std::int32_t>(j)});
    }
    result.check.holes_before_turn
        = before_turn >= 0 ? before_turn : static_cast<std::int32_t>(result.check.holes.size());
    result.holes_per_section = static_cast<std::int16_t>(holes);
    result.sections = static_cast<std::int32_t>(falling.size() - 1) / holes;
    result.sample_rate = rate;
    return result;
}

inline Ints every(int step, int count, int first = 0)
{
    Ints values;
    for (int k = 0; k < count; ++k)
        values << first + k * step;
    return values;
}

}  // namespace support
