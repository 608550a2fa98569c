// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "report.h"

#include "graph_results.h"
#include "messages.h"
#include "saved_measurement.h"
#include "storage/file_io.h"

#include <memory>

Report report_of_file(
    const QString &path, const std::optional<std::int32_t> &holes_per_section, const QDateTime &saved_at)
{
    const storage::ReadResult read = storage::read_measurement_file(path);
    auto state = std::make_unique<common::MeasurementState>();
    if (const std::optional<storage::ReadFailure> failure = put_into_state(*state, read))
        return {{}, messages::file_cannot_report(path, *failure)};
    const storage::MeasurementRecord &record = *read.record;
    const std::int32_t holes = holes_per_section.value_or(record.holes_per_section.value_or(1));
    const FirstGraph graph = first_graph(std::move(state), static_cast<std::int16_t>(holes));
    storage::MeasurementRecord report
        = record_of_window(*graph.state, graph.strip, MeasurementOrigin{record.source, record.measured_at}, saved_at);
    // What the file says of its readings beyond them stays with them.
    report.range = record.range;
    report.late_readings = record.late_readings;
    return {storage::write_measurement_csv(report), {}};
}
