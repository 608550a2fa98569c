// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Runs for the lesson's tests: one 計測 at 1 ms of the simulated cart, 1 s unless said otherwise,
// its readings taken at exact instants.

#include "common/measurement_plan.h"
#include "converter/simulated_cart.h"
#include "lesson/lesson.h"

namespace test_support {

inline LessonRun simulated_run(double accel_cm_s2, double v0_cm_s = 20, std::int16_t seconds = 1)
{
    converter::SimulatedCart cart(converter::CartMotion{v0_cm_s, accel_cm_s2, 0.05});
    LessonRun run;
    common::MeasurementState state;
    common::start_measurement(state, 1, seconds);
    for (std::int32_t i = 0; i <= state.last_sample; ++i)
        state.samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(cart.sensor_reading(i * 1e-3));
    run.recording = state;
    run.origin.source = {QStringLiteral("simulated"), QStringLiteral("加速度(cm/s²)"), QString::number(accel_cm_s2)};
    return run;
}

}  // namespace test_support
