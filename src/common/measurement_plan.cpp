// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "common/measurement_plan.h"

#include "common/numeric.h"

#include <algorithm>

namespace common {

MeasurementPlan plan_measurement(std::int32_t period_ms, std::int32_t meas_time_s)
{
    MeasurementPlan plan;
    plan.sample_rate = to_single(1.0 / (period_ms / 1000.0));
    plan.meas_time = to_single(meas_time_s);
    const double readings = int_floor(static_cast<double>(plan.sample_rate) * plan.meas_time);
    plan.last_sample
        = checked_integer<std::int32_t>(std::clamp(readings, 0.0, static_cast<double>(kSampleTableSize - 1)))
              .value_or(0);
    return plan;
}

void start_measurement(MeasurementState &state, std::int16_t period_ms, std::int16_t meas_time_s)
{
    std::fill(state.samples.begin(), state.samples.end(), std::int16_t{0});
    state.period_ms = period_ms;
    const MeasurementPlan plan = plan_measurement(period_ms, meas_time_s);
    state.sample_rate = plan.sample_rate;
    state.meas_time = plan.meas_time;
    state.last_sample = plan.last_sample;
    state.measured = true;
    state.stamps = {};
    state.fit_shown = false;
}

}  // namespace common
