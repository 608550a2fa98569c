// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The fits over a span of a run's sections, worked out in this one place for every caller: the
// line through the velocity points 1..n with its statistics, and the position fit of the edges up
// to a boundary; and the same over a range of the run's time that a student chose.

#include "analysis/fit_statistics.h"
#include "analysis/least_squares.h"
#include "analysis/position_fit.h"
#include "analysis/strip_check.h"
#include "common/measurement_state.h"
#include "common/reading_span.h"
#include "common/time_range.h"

#include <cstdint>
#include <optional>
#include <vector>

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

// The time of boundary j (0..edge_count) in s from the first counted edge.
double boundary_time(const common::MeasurementState &state, std::int32_t j);

// The span of a run's sections, from its first counted edge to its last boundary; nothing when it
// has no whole section.
std::optional<common::TimeRange> data_span(const common::MeasurementState &state);
// The range a run is fitted over when none was chosen: every section before the cart stopped,
// turned or bounced; nothing when there is none.
std::optional<common::TimeRange> whole_run_range(const common::MeasurementState &state, const StripAnalysis &strip);

// A range fit needs this many sections for its line to tell how far to trust it.
inline constexpr std::int32_t kFewestRangeSections = 3;

// The fits over a range of a run's time: the line through the sections whose mid-times lie in it,
// the position fit of the edges within it, and over it the area under the line (the distance the
// line says) beside the rise of the position fit.
struct RangeFits {
    common::TimeRange range;  // what was fitted: the range asked, ended at a turn within it
    // The sections fitted, first..last; none (0, 0) when no mid-time lies in the range.
    std::int32_t first_section = 0;
    std::int32_t last_section = 0;
    bool cut_at_turn = false;  // the range reached where the cart stopped, turned or bounced
    // The line, with at least kFewestRangeSections sections.
    std::optional<FitStatistics> line;
    std::optional<PositionFit> position_fit;
    PositionFitRefusal position_refusal = PositionFitRefusal::None;
    std::optional<Estimate> area;  // cm, under the line over the range
    std::optional<Estimate> rise;  // cm, of the position fit over the range
    // Sections first..last left out of the line, ascending: readings in them came late, so their
    // times are the computer's pause and not the cart's.
    std::vector<std::int32_t> spoiled_sections;
    std::int32_t sections() const { return first_section > 0 ? last_section - first_section + 1 : 0; }
    // The sections the line goes through: first..last without the spoiled ones.
    std::int32_t fitted_sections() const { return sections() - static_cast<std::int32_t>(spoiled_sections.size()); }
};
// With `late_readings`, the readings of the run that came late (ascending spans), the sections
// they spoil are left out of the line and the edges on unsure readings out of the position fit,
// as analysis/late_readings.h has it; the line then needs kFewestRangeSections sections besides.
RangeFits fit_range(const common::MeasurementState &state, const StripAnalysis &strip, common::TimeRange range,
    const std::vector<common::ReadingSpan> &late_readings = {});

// The position fit of the edges within `window` alone, over the run's sections and before any
// turn, without the edges on `unsure` readings (as analysis::unsure_readings gives them).
std::optional<PositionFit> fit_window(const StripAnalysis &strip, const common::TimeRange &window,
    const std::vector<common::ReadingSpan> &unsure, PositionFitRefusal *refusal = nullptr);
// The line through points 1..n of tables of their own (times in s, values; entry 0 unused), with
// its statistics; nothing when it is not determined.
std::optional<FitStatistics> fit_points_line(const std::vector<float> &times, const std::vector<float> &values);

// The area and the rise agree when they differ by no more than twice the standard error of their
// difference; without errors, by no more than a thousandth of a centimetre.
bool area_agrees_with_rise(const Estimate &area, const Estimate &rise);

}  // namespace analysis
