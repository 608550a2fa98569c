// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/span_fits.h"

#include <algorithm>

namespace analysis {

SpanFits fit_span(const common::MeasurementState &state, const StripAnalysis *strip, std::int32_t line_points,
    std::int32_t position_boundaries)
{
    SpanFits fits;
    fits.line_points = std::max(0, line_points);
    fits.line = fit_velocity_line(state.sect_time, state.sect_velocity, line_points);
    if (fits.line)
        fits.statistics = fit_statistics(state.sect_time, state.sect_velocity, line_points);
    if (!strip)
        return fits;
    fits.position_boundaries = position_boundaries;
    fits.position_fit = fit_positions(*strip, position_boundaries, &fits.position_refusal);
    return fits;
}

std::int32_t sections_before_turn(const StripAnalysis &strip)
{
    std::int32_t sections = std::max(0, strip.sections);
    // The section of the turn is the cart's doing, not its motion's: it ends the span.
    if (strip.check.turn_section)
        sections = std::min(sections, *strip.check.turn_section - 1);
    return std::max(0, sections);
}

}  // namespace analysis
