// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lesson/run_record.h"

#include "common/measurement_plan.h"

#include <algorithm>
#include <cmath>

QString program_name() { return QStringLiteral("undou-kaiseki"); }
QString program_version() { return QStringLiteral(UNDOU_VERSION); }

std::int32_t measured_period_ms(const common::Recording &recording)
{
    if (!(recording.sample_rate > 0))
        return recording.period_ms;
    // The rate is the float of 1000 / period, close enough to tell every whole period apart.
    return static_cast<std::int32_t>(std::lround(1000.0 / recording.sample_rate));
}

storage::MeasurementRecord record_of_recording(const common::Recording &recording, const MeasurementOrigin &origin,
    const QDateTime &saved_at, std::optional<std::int32_t> holes)
{
    storage::MeasurementRecord record;
    record.program_name = program_name();
    record.program_version = program_version();
    record.saved_at = saved_at;
    record.measured_at = origin.measured_at;
    record.source = origin.source;
    record.period_ms = measured_period_ms(recording);
    record.meas_time_s = recording.meas_time;
    record.sample_rate = recording.sample_rate;
    record.last_sample = recording.last_sample;
    const auto readings
        = static_cast<std::size_t>(std::clamp(recording.last_sample + 1, 0, int(recording.samples.size())));
    record.samples.assign(recording.samples.begin(), recording.samples.begin() + static_cast<std::ptrdiff_t>(readings));
    record.holes_per_section = holes;
    if (recording.stamps.stamped)
        record.edge_stamps = recording.stamps.edges;
    return record;
}

std::optional<storage::ReadFailure> put_into_state(common::MeasurementState &state, const storage::ReadResult &read)
{
    if (!read.record)
        return read.failure;
    const storage::MeasurementRecord &record = *read.record;
    const auto time_s = static_cast<std::int32_t>(record.meas_time_s);
    // A file whose rate or N is not what 計測 gives for its period and time was not written by it.
    // N may fall short of the plan: 中止 or a lost port ends a measurement early, and it keeps the
    // readings taken.
    const common::MeasurementPlan plan = common::plan_measurement(record.period_ms, time_s);
    const double rate_error = std::fabs(static_cast<double>(record.sample_rate) - plan.sample_rate);
    if (!(rate_error <= kRateTolerance * plan.sample_rate))
        return storage::ReadFailure{storage::ReadProblem::RateMismatch, read.sample_rate_line, {}};
    if (record.last_sample > plan.last_sample)
        return storage::ReadFailure{storage::ReadProblem::RateMismatch, read.last_sample_line, {}};

    std::fill(state.samples.begin(), state.samples.end(), std::int16_t{0});
    std::copy(record.samples.begin(), record.samples.end(), state.samples.begin());
    state.period_ms = static_cast<std::int16_t>(record.period_ms);
    state.sample_rate = plan.sample_rate;
    state.meas_time = plan.meas_time;
    state.last_sample = record.last_sample;
    state.measured = true;
    state.stamps = {};
    state.stamps.stamped = record.edge_stamps.has_value();
    if (record.edge_stamps)
        state.stamps.edges = *record.edge_stamps;
    state.fit_shown = false;
    return std::nullopt;
}
