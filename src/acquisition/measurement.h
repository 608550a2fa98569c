#pragma once

// The pieces of the Measure command: the plan of a measurement, the timed recording of the
// readings into the measurement state, and the raw trace.

#include "acquisition/loop_host.h"
#include "common/measurement_state.h"

#include <cstdint>
#include <functional>

namespace graph {
class Surface;
}

namespace acquisition {

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
void start_measurement(common::MeasurementState &state, std::int16_t period_ms, std::int16_t meas_time_s);

using ReadSample = std::function<std::int16_t()>;
// Told the number of readings taken so far after each reading.
using ReadingTaken = std::function<void(std::int32_t readings_taken)>;

// Takes readings 0..last_sample into `samples`, the first at once and each later one when the tick
// counter has reached its deadline, one period (state.period_ms, read afresh) after the previous
// deadline. After the last reading it still waits for the following deadline. Returns false when
// the loop was cancelled because the window is going away; the samples taken so far are kept.
bool record_samples(common::MeasurementState &state, LoopHost &host, const ReadSample &read_sample,
    const ReadingTaken &reading_taken = {});

// Where the raw trace puts reading i of readings 0..last_sample across a picture `width` pixels
// wide: x = Int(width / last_sample x i), the division first.
std::int32_t trace_x(std::int32_t i, std::int32_t last_sample, std::int32_t width);
// The height of a reading on the trace: 0 at y = 240, 255 at y = 36 and -255 at y = 444.
std::int32_t trace_y(std::int32_t reading);

// Clears the picture and draws readings 0..last_sample as a red line across its width.
void draw_raw_trace(graph::Surface &surface, const common::MeasurementState &state);

}  // namespace acquisition
