// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The measurement the window shows: the run on screen with the view of its graph, what グラフ
// found in it, and where it came from. Whoever shows or keeps it (the picture menu, the results
// view, the files) reads it here, and hears of a new measurement and of every change to its graph.

#include "analysis/strip_check.h"
#include "common/measurement_state.h"
#include "common/reading_span.h"
#include "common/time_range.h"
#include "graph_results.h"
#include "saved_measurement.h"

#include <QObject>

#include <optional>
#include <vector>

class MeasurementDocument : public QObject {
    Q_OBJECT
public:
    explicit MeasurementDocument(QObject *parent = nullptr);

    // The run on screen and its view (the zoom, plotted_sections, fit_shown).
    common::MeasurementState state;
    // What the strip check of the last グラフ found, kept while its graph belongs to the measurement:
    // none before グラフ, after a new 計測 or an opened file, nor for a graph drawn while 計測 records.
    std::optional<analysis::StripAnalysis> strip_analysis;
    // Where the measurement came from.
    MeasurementOrigin origin;
    // The range of its time the student chose in グラフを調べる; none: every section before the
    // cart stopped, turned or bounced. A new measurement has none; a file brings its own.
    std::optional<common::TimeRange> range;
    void set_range(const std::optional<common::TimeRange> &chosen);
    // The readings of the run that came late, ascending spans, when 計測 missed its schedule: the
    // sections they spoil are the computer's, not the cart's. A new measurement has those of its
    // own 計測; a file brings its own.
    std::vector<common::ReadingSpan> late_readings;

    // The line, the position fit and their spans as the graph stands now: the one place they are
    // worked out.
    GraphResults results() const;

    // The samples have been replaced (a new measurement, or one read from a file): the graph and
    // the fit no longer belong to them.
    void measurement_replaced();
    // グラフ's analysis with `holes` holes a section: the sections, and the strip check unless the
    // readings are still being taken. The number of edges found.
    std::int32_t analyse(std::int16_t holes, bool recording);
    // 計測 ended with readings; `late`, those that came late: none when it kept its schedule. Emits
    // recording_finished.
    void finish_recording(std::vector<common::ReadingSpan> late);

signals:
    // 計測 has started to record, once the last measurement has been cleared.
    void measurement_started();
    // The results of the graph may have changed: after グラフ, 最小２乗法, a zoom, 元のグラフ and a
    // replaced measurement.
    void graph_changed();
    // 計測 ended with readings (finished, or stopped by 中止); `late` when they missed their
    // schedule.
    void recording_finished(bool late);
    // A measurement file was opened into the document.
    void recording_opened();
    // The range changed (chosen, taken off, or the run's own with a run from the lesson).
    void range_changed();
};
