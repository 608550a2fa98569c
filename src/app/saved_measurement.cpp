// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "saved_measurement.h"

#include "analysis/span_fits.h"
#include "common/measurement_plan.h"
#include "form1.h"
#include "graph_results.h"
#include "measurement_document.h"

#include <algorithm>
#include <cmath>

namespace {

// The results of a graph whose fit is shown; nothing while it is not.
std::optional<GraphResults> shown_results(
    const common::MeasurementState &state, const std::optional<analysis::StripAnalysis> &strip)
{
    if (!state.measured || !state.graphed || !state.fit_shown)
        return std::nullopt;
    GraphResults results = results_of_graph(state, strip ? &*strip : nullptr);
    if (!results.line)
        return std::nullopt;
    return results;
}

}  // namespace

storage::MeasurementRecord record_of_window(const common::MeasurementState &state,
    const std::optional<analysis::StripAnalysis> &strip, const MeasurementOrigin &origin, const QDateTime &saved_at)
{
    storage::MeasurementRecord record = record_of_recording(state, origin, saved_at);
    if (!state.measured || !state.graphed)
        return record;

    record.holes_per_section = state.holes_per_section;
    // The tables as the graph draws them: sections 1..edge_count and boundaries 0..edge_count.
    for (std::int32_t k = 1; k <= state.edge_count; ++k) {
        const auto entry = static_cast<std::size_t>(k);
        if (entry >= state.sect_time.size() || entry >= state.sect_velocity.size() || entry >= state.sect_dt.size())
            break;
        record.sections.push_back({state.sect_time[entry], state.sect_dt[entry], state.sect_velocity[entry]});
    }
    if (state.sample_rate > 0) {
        for (std::int32_t k = 0; k <= state.edge_count && static_cast<std::size_t>(k) < state.edge_index.size(); ++k) {
            record.boundaries.push_back(
                {analysis::boundary_time(state, k), static_cast<double>(k) * state.section_length});
        }
    }
    const GraphResults results = results_of_graph(state, strip ? &*strip : nullptr);
    if (state.fit_shown && results.line && results.statistics)
        record.fit = storage::FitRecord{results.line->initial_velocity, results.line->acceleration,
            results.initial_velocity_text, results.acceleration_text, *results.statistics};
    if (!strip)
        return record;
    if (const std::optional<analysis::PositionFit> &fit = results.position_fit)
        record.position_fit = storage::PositionFitRecord{fit->initial_velocity, fit->initial_velocity_error,
            fit->acceleration, fit->acceleration_error, fit->r_squared, fit->edges};
    const analysis::StripCheck &check = strip->check;
    record.strip_check = storage::StripCheckRecord{check.missed_hole_sections, check.extra_edge_sections,
        check.followable_speed_cm_s, check.coarse_period_sections, check.turn_section, check.torn_hole_sections};
    return record;
}

std::optional<storage::ReadFailure> put_into_window(Form1 &form, const storage::ReadResult &read)
{
    if (const std::optional<storage::ReadFailure> failure = put_into_state(form.document().state, read))
        return failure;
    const storage::MeasurementRecord &record = *read.record;
    form.show_opened_measurement(
        record.period_ms, static_cast<std::int32_t>(record.meas_time_s), record.holes_per_section);
    form.document().late_readings = record.late_readings;
    return std::nullopt;
}

QString print_caption(const common::MeasurementState &state, const std::optional<analysis::StripAnalysis> &strip,
    const QDateTime &printed_at)
{
    QStringList parts;
    parts << QStringLiteral("運動の解析") << printed_at.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    if (state.measured)
        parts << QStringLiteral("計測周期 %1 ms").arg(measured_period_ms(state));
    if (state.measured && state.graphed)
        parts << QStringLiteral("1区間の穴数 %1").arg(state.holes_per_section);
    if (const std::optional<GraphResults> results = shown_results(state, strip)) {
        parts << QStringLiteral("初速度 %1").arg(results->initial_velocity_text)
              << QStringLiteral("加速度 %1").arg(results->acceleration_text);
        if (const std::optional<analysis::PositionFit> &fit = results->position_fit)
            parts << QStringLiteral("位置の当てはめの加速度 %1")
                         .arg(value_with_error(fit->acceleration, fit->acceleration_error, QStringLiteral("cm/s²")));
    }
    return parts.join(QStringLiteral("　"));
}
