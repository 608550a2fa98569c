// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/late_readings.h"

#include <algorithm>
#include <cmath>

namespace analysis {

std::vector<common::ReadingSpan> unsure_readings(const std::vector<common::ReadingSpan> &late)
{
    std::vector<common::ReadingSpan> unsure;
    for (const common::ReadingSpan &span : late) {
        const common::ReadingSpan widened{std::max(0, span.first - 1), span.last};
        if (!unsure.empty() && widened.first <= unsure.back().last + 1)
            unsure.back().last = std::max(unsure.back().last, widened.last);
        else
            unsure.push_back(widened);
    }
    return unsure;
}

bool on_unsure_reading(const std::vector<common::ReadingSpan> &unsure, double reading)
{
    // An edge between two readings lies on both.
    const double below = std::floor(reading);
    const double above = std::ceil(reading);
    return std::any_of(unsure.begin(), unsure.end(),
        [&](const common::ReadingSpan &span) { return span.first <= above && below <= span.last; });
}

std::vector<std::int32_t> spoiled_sections(
    const common::SectionTables &sections, const std::vector<common::ReadingSpan> &late)
{
    const std::vector<common::ReadingSpan> unsure = unsure_readings(late);
    std::vector<std::int32_t> spoiled;
    if (unsure.empty())
        return spoiled;
    const std::int32_t count = std::min(sections.edge_count, static_cast<std::int32_t>(sections.edge_index.size()) - 1);
    for (std::int32_t k = 1; k <= count; ++k) {
        const std::int32_t opening = sections.edge_index[static_cast<std::size_t>(k - 1)];
        const std::int32_t closing = sections.edge_index[static_cast<std::size_t>(k)];
        if (std::any_of(unsure.begin(), unsure.end(),
                [&](const common::ReadingSpan &span) { return span.first <= closing && opening <= span.last; }))
            spoiled.push_back(k);
    }
    return spoiled;
}

}  // namespace analysis
