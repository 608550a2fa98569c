// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The plan of a measurement: its rate and its number of readings, and the state a measurement
// starts from. 計測 plans with it, and a file read back is checked against it.

#include "common/measurement_state.h"

#include <cstdint>

namespace common {

struct MeasurementPlan {
    float sample_rate = 0;         // samples per second, 1 / (period in s) held as a 32-bit float
    float meas_time = 0;           // s
    std::int32_t last_sample = 0;  // N = Int(sample_rate x meas_time): readings 0..N
};

// The rate and the number of readings for a period (ms) and a measurement time (s). N is formed
// from the 32-bit float rate, so 15 ms for 3 s gives 199, not 200. N is kept inside the sample
// table.
MeasurementPlan plan_measurement(std::int32_t period_ms, std::int32_t meas_time_s);

// Starts a measurement in the state: clears every sample, stores the period, the plan,
// measured = true and fit_shown = false. Called before the first reading.
void start_measurement(MeasurementState &state, std::int16_t period_ms, std::int16_t meas_time_s);

}  // namespace common
