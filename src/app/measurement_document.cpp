// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "measurement_document.h"

#include "analysis/sections.h"

MeasurementDocument::MeasurementDocument(QObject *parent) : QObject(parent) { }

GraphResults MeasurementDocument::results() const
{
    return results_of_graph(state, strip_analysis ? &*strip_analysis : nullptr);
}

void MeasurementDocument::measurement_replaced()
{
    state.graphed = false;
    state.fit_shown = false;
    state.plotted_sections = 0;
    strip_analysis.reset();
    range.reset();
    late_readings.clear();
    emit graph_changed();
}

void MeasurementDocument::finish_recording(std::vector<common::ReadingSpan> late)
{
    late_readings = std::move(late);
    emit recording_finished(!late_readings.empty());
}

void MeasurementDocument::set_range(const std::optional<common::TimeRange> &chosen)
{
    if (chosen == range)
        return;
    range = chosen;
    emit range_changed();
}

std::int32_t MeasurementDocument::analyse(std::int16_t holes, bool recording)
{
    analysis::begin_graph(state, holes);
    if (!state.measured)
        return 0;
    const std::int32_t edges = analysis::analyse_sections(state);
    // The readings of a run still recording end where it has got to, and a pulse cut off there
    // would look too short: the graph drawn meanwhile goes unchecked, and the run drops it.
    strip_analysis.reset();
    if (!recording)
        strip_analysis = analysis::analyse_strip(state);
    return edges;
}
