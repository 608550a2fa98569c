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

bool record_samples(
    common::MeasurementState &state, LoopHost &host, const ReadSample &read_sample, const ReadingTaken &reading_taken)
{
    ActiveLoop active(host);
    const std::int32_t last = state.last_sample;
    SamplingSchedule schedule(host);
    for (std::int32_t i = 0; i <= last; ++i) {
        state.samples[static_cast<std::size_t>(i)] = read_sample();
        if (reading_taken)
            reading_taken(i + 1);
        if (!schedule.wait_next(state.period_ms))
            return false;
    }
    return true;
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
    surface.clear();
    const std::int32_t width = surface.width();
    for (std::int32_t i = 0; i <= state.last_sample; ++i) {
        const std::int32_t x = trace_x(i, state.last_sample, width);
        const std::int32_t y = trace_y(state.samples[static_cast<std::size_t>(i)]);
        if (i == 0)
            surface.set_pixel(x, y, common::kBrightRed);
        else
            surface.line_to(x, y, common::kBrightRed);
    }
}

}  // namespace acquisition
