// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The results of the graph in the window beyond its picture: the line and the position fit of the
// points on the graph, what the strip check of its グラフ found, and their texts for the results
// view, its copy, the saved file and the print.

#include "analysis/fit_statistics.h"
#include "analysis/least_squares.h"
#include "analysis/position_fit.h"
#include "analysis/strip_check.h"
#include "common/measurement_state.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

struct GraphResults {
    std::int32_t sections = 0;  // sections 1..sections of the graph
    // The points the line goes through, 1..line_points, taken as 最小２乗法 takes them: the points
    // that the last drawing put on the graph.
    std::int32_t line_points = 0;
    // The line of 最小２乗法 through the points on the graph, when it is determined, with its values
    // as the window prints them, and the same line in double precision with its standard errors.
    std::optional<analysis::LineFit> line;
    QString initial_velocity_text;
    QString acceleration_text;
    std::optional<analysis::FitStatistics> statistics;
    // The fit of the edges up to boundary position_boundaries: those on the graph's time axis,
    // and at least those of the line's points; when it is determined, and else why not.
    std::int32_t position_boundaries = 0;
    std::optional<analysis::PositionFit> position_fit;
    analysis::PositionFitRefusal position_refusal = analysis::PositionFitRefusal::None;
};

// The results of the graph in `state` at its present scale; `strip` is what its グラフ found, and
// without it there is no position fit.
GraphResults results_of_graph(const common::MeasurementState &state, const analysis::StripAnalysis *strip);

// What グラフ and 最小２乗法 give on a recording at the first scale: the state with its sections
// and the view of the first drawing, what the strip check found, and the results.
struct FirstGraph {
    std::unique_ptr<common::MeasurementState> state;
    analysis::StripAnalysis strip;
    GraphResults results;
};
// `state` holds the recording; グラフ is worked out with `holes` holes a section.
FirstGraph first_graph(std::unique_ptr<common::MeasurementState> state, std::int16_t holes);

// A value and its standard error, rounded alike: the error to two significant digits (at most four
// decimals), the value to the same place ("60.12" and "0.35"). Without an error, two decimals.
struct RoundedValue {
    QString value;
    QString error;  // empty without an error
};
RoundedValue rounded_with_error(double value, const std::optional<double> &error);
// The same as one text with its unit: "60.12 ± 0.35 cm/s²".
QString value_with_error(double value, const std::optional<double> &error, const QString &unit);

// The texts of section k (1..edge_count) as the results view shows them: k, the middle time in s to
// 0.1 ms, the duration in s to 1 ms and the velocity in cm/s to 0.01 cm/s.
QStringList section_texts(const common::MeasurementState &state, std::int32_t k);

// The columns of the sections as the copy names them: the saved file's, and 点検.
QStringList section_columns();

// What the strip check found in section k, in a few words ("穴の読み落とし"); empty when nothing.
QString section_finding(const analysis::StripCheck &check, std::int32_t k);

// What the strip check found, as the message after グラフ says it, or that it found nothing.
QString strip_findings_text(const analysis::StripCheck &check);
// True when the 入力 row `source` is a board's whose clock has no correction yet.
bool board_clock_uncorrected(const QStringList &source);
// What the results view says of a board's edge stamps: D8 silent while the readings show
// `pulses` holes, stamps the board could not send, stamps left out. Empty for a recording without
// stamps, or with nothing to say.
QStringList edge_stamp_findings(const common::EdgeStamps &stamps, std::size_t pulses);
// The standing the run had from the system, as the 入力 row `source` records it ("計測中の優先度：
// SCHED_FIFO 10"); nothing for a file written before it was recorded.
std::optional<QString> run_priority_text(const QStringList &source);

// The position fit as the results view says it: its values with their standard errors, r² and the
// edges it used, and that they end before a turn; or why there is none.
QString position_fit_text(const GraphResults &results);

// The results as tab-separated text, which a spreadsheet pastes cell by cell: a header row and one
// row for each section; an empty row, a header row and a row for each fit (the line's values
// rounded as the window prints them, the position fit's with their standard errors and a remark
// when it ends before a turn, or why there is none); an empty row and the strip check's findings.
QString results_as_tab_separated(const common::MeasurementState &state, const analysis::StripAnalysis &strip);
