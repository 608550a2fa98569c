// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The fits over a span of a run's sections, worked out in this one place for every caller: the
// line through the velocity points 1..n with its statistics, and the position fit of the edges up
// to a boundary.

#include "analysis/fit_statistics.h"
#include "analysis/least_squares.h"
#include "analysis/position_fit.h"
#include "analysis/strip_check.h"
#include "common/measurement_state.h"

#include <cstdint>
#include <optional>

namespace analysis {

struct SpanFits {
    std::int32_t line_points = 0;  // the velocity points 1..line_points
    std::optional<LineFit> line;
    std::optional<FitStatistics> statistics;
    std::int32_t position_boundaries = 0;  // the edges up to this boundary
    std::optional<PositionFit> position_fit;
    PositionFitRefusal position_refusal = PositionFitRefusal::None;
};

// Fits the velocity points 1..`line_points` of the section tables in `state`, and, given `strip`
// (what the sections' strip check found), the edges from boundary 0 to `position_boundaries`.
SpanFits fit_span(const common::MeasurementState &state, const StripAnalysis *strip, std::int32_t line_points,
    std::int32_t position_boundaries);

// The sections of a whole run that its fits may use: every whole section up to the one where the
// strip check finds the cart stopped, turned or bounced.
std::int32_t sections_before_turn(const StripAnalysis &strip);

}  // namespace analysis
