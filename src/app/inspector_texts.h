// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// What the window グラフを調べる works out and says of a run: the fits over its range, the tangent
// of its position fit, the numbers of the point under the cursor, and the rows its copy gives a
// spreadsheet. Nothing here draws.

#include "analysis/analysed_run.h"
#include "analysis/span_fits.h"
#include "common/reading_span.h"
#include "common/time_range.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

struct InspectedRange {
    analysis::RangeFits fits;
    bool chosen = false;  // the student chose it; else every section before a turn
    std::optional<std::int32_t> turn_section;
    // Every section of the run that readings which came late spoiled, ascending.
    std::vector<std::int32_t> spoiled_sections;
    std::optional<double> tangent_time;
    std::optional<analysis::Estimate> tangent;  // the position fit's slope at tangent_time
};

// The fits of `run` over `chosen`, or without one over every section before a turn; and the
// tangent at `tangent_time`. The sections that the run's `late_readings` spoil are left out of the
// fits. Nothing when the run has no whole section.
std::optional<InspectedRange> inspect_range(const analysis::AnalysedRun &run,
    const std::optional<common::TimeRange> &chosen, const std::optional<double> &tangent_time,
    const std::vector<common::ReadingSpan> &late_readings = {});

// A time typed into one of the window's fields: a number of seconds with the decimal point, in
// ASCII or full-width forms; nothing for anything else.
std::optional<double> parse_seconds(const QString &text);

// Why a typed range is refused; None when it is taken.
enum class RangeRefusal { None, NotANumber, WrongWay, Outside };
// The range typed as `start` and `end`, clamped to the run's `span`; or why it is refused.
RangeRefusal check_typed_range(
    const QString &start, const QString &end, const common::TimeRange &span, common::TimeRange *range);
QString range_refusal_text(RangeRefusal why);

// Seconds as the window shows them: "0.125".
QString seconds_text(double seconds);

// The point under the cursor: section k of the v–t plot, boundary j of the x–t plot.
QString section_point_text(const common::MeasurementState &state, std::int32_t k);
QString boundary_point_text(const common::MeasurementState &state, std::int32_t j);
// The distance of boundary j from the first counted edge, in cm.
double boundary_distance(const common::MeasurementState &state, std::int32_t j);

// The lines the window shows under its plots.
QStringList inspection_lines(const InspectedRange &inspected);
// Tab-separated rows, each a name, a value and its standard error where there is one.
QString inspection_copy_text(const InspectedRange &inspected);
