// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "acquisition/measurement.h"

#include "acquisition/wait_till.h"
#include "common/numeric.h"
#include "common/palette.h"
#include "graph/surface.h"

#include <algorithm>

namespace acquisition {

MeasurementPlan plan_measurement(std::int32_t period_ms, std::int32_t meas_time_s)
{
    MeasurementPlan plan;
    plan.sample_rate = common::to_single(1.0 / (period_ms / 1000.0));
    plan.meas_time = common::to_single(meas_time_s);
    const double readings = common::int_floor(static_cast<double>(plan.sample_rate) * plan.meas_time);
    plan.last_sample = common::checked_integer<std::int32_t>(
        std::clamp(readings, 0.0, static_cast<double>(common::kSampleTableSize - 1)))
                           .value_or(0);
    return plan;
}

void start_measurement(common::MeasurementState &state, std::int16_t period_ms, std::int16_t meas_time_s)
{
    std::fill(state.samples.begin(), state.samples.end(), std::int16_t{0});
    state.period_ms = period_ms;
    const MeasurementPlan plan = plan_measurement(period_ms, meas_time_s);
    state.sample_rate = plan.sample_rate;
    state.meas_time = plan.meas_time;
    state.last_sample = plan.last_sample;
    state.measured = true;
    state.fit_shown = false;
}

RecordingEnd record_measurement(
    common::MeasurementState &state, LoopHost &host, const ReadSample &read_sample, const RecordingWatch &watch)
{
    ActiveLoop active(host);
    const std::int32_t last = state.last_sample;
    const std::int32_t period_ms = state.period_ms;
    auto ended_after = [&](std::int32_t reading) {
        state.last_sample = reading;
        return RecordingEnd::Ended;
    };
    if (watch.schedule) {
        watch.schedule->lateness_ns.clear();
        watch.schedule->reading_ns.clear();
        watch.schedule->started_ns.clear();
    }
    SamplingSchedule schedule(host);
    for (std::int32_t i = 0; i <= last; ++i) {
        const std::int64_t start_ns = host.clock().now_ns();
        state.samples[static_cast<std::size_t>(i)] = read_sample();
        if (watch.schedule) {
            const std::int64_t late_ns = i == 0 ? 0 : start_ns - deadline_moment_ns(start_ns, schedule.deadline());
            watch.schedule->lateness_ns.push_back(late_ns);
            watch.schedule->reading_ns.push_back(host.clock().now_ns() - start_ns);
            watch.schedule->started_ns.push_back(start_ns);
        }
        if (watch.reading_taken)
            watch.reading_taken(i + 1);
        if (watch.keep_going && !watch.keep_going())
            return ended_after(i);
        if (!schedule.wait_next(period_ms))
            return RecordingEnd::Cancelled;
        if (i < last && watch.keep_going && !watch.keep_going())
            return ended_after(i);
    }
    return RecordingEnd::Finished;
}

bool record_samples(
    common::MeasurementState &state, LoopHost &host, const ReadSample &read_sample, const ReadingTaken &reading_taken)
{
    return record_measurement(state, host, read_sample, {reading_taken, {}, nullptr}) != RecordingEnd::Cancelled;
}

std::int32_t trace_x(std::int32_t i, std::int32_t last_sample, std::int32_t width)
{
    if (last_sample <= 0)
        return 0;
    const double x = common::int_floor(static_cast<double>(width) / last_sample * i);
    return common::checked_integer<std::int32_t>(x).value_or(0);
}

std::int32_t trace_y(std::int32_t reading) { return common::round_to_pixel(240.0 - reading * 0.8); }

void draw_raw_trace(graph::Surface &surface, const common::MeasurementState &state)
{
    draw_raw_trace(surface, state, state.last_sample);
}

void draw_raw_trace(graph::Surface &surface, const common::MeasurementState &state, std::int32_t planned_last_sample)
{
    surface.clear();
    const std::int32_t width = surface.width();
    for (std::int32_t i = 0; i <= state.last_sample; ++i) {
        const std::int32_t x = trace_x(i, planned_last_sample, width);
        const std::int32_t y = trace_y(state.samples[static_cast<std::size_t>(i)]);
        if (i == 0)
            surface.set_pixel(x, y, common::kBrightRed);
        else
            surface.line_to(x, y, common::kBrightRed);
    }
}

}  // namespace acquisition
