// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The pieces of the Measure command: the plan of a measurement, the timed recording of the
// readings into the measurement state, and the raw trace.

#include "acquisition/loop_host.h"
#include "common/measurement_state.h"

#include <cstdint>
#include <functional>
#include <vector>

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

// How each reading of a recording kept to its schedule, on the loop host's clock.
struct ScheduleRecord {
    // Reading i: how long after the moment the tick counter reached its deadline the reading
    // started, in ns. The first reading has no deadline before it and is entered as 0.
    std::vector<std::int64_t> lateness_ns;
    // Reading i: how long the reading itself took, in ns.
    std::vector<std::int64_t> reading_ns;
    // Reading i: the moment it started, on the loop host's clock, in ns.
    std::vector<std::int64_t> started_ns;
};

struct RecordingWatch {
    ReadingTaken reading_taken;
    // Asked after each reading and again after each wait: false ends the recording there, with
    // the readings taken so far kept (the stop button, or a port whose lines have failed).
    std::function<bool()> keep_going;
    // When given, filled with the schedule of every reading taken.
    ScheduleRecord *schedule = nullptr;
};

enum class RecordingEnd {
    Finished,   // readings 0..last_sample were all taken, and the wait after the last one is over
    Ended,      // keep_going ended it early; last_sample is now the index of the last reading taken
    Cancelled,  // the window is going away; the samples taken so far are kept
};

// Takes readings 0..last_sample into `samples` as record_samples does, at the period the state
// holds when the recording starts: a measurement keeps its period whatever happens to the setting
// meanwhile, since the analysis takes reading i to be i periods after reading 0.
RecordingEnd record_measurement(
    common::MeasurementState &state, LoopHost &host, const ReadSample &read_sample, const RecordingWatch &watch = {});

// Takes readings 0..last_sample into `samples`, the first at once and each later one when the tick
// counter has reached its deadline, one period (state.period_ms when the recording starts) after
// the previous deadline. After the last reading it still waits for the following deadline. Returns
// false when the loop was cancelled because the window is going away; the samples taken so far are
// kept.
bool record_samples(common::MeasurementState &state, LoopHost &host, const ReadSample &read_sample,
    const ReadingTaken &reading_taken = {});

// Where the raw trace puts reading i of readings 0..last_sample across a picture `width` pixels
// wide: x = Int(width / last_sample x i), the division first.
std::int32_t trace_x(std::int32_t i, std::int32_t last_sample, std::int32_t width);
// The height of a reading on the trace: 0 at y = 240, 255 at y = 36 and -255 at y = 444.
std::int32_t trace_y(std::int32_t reading);

// Clears the picture and draws readings 0..last_sample as a red line across its width. A recording
// that ended early is drawn at the scale of the `planned_last_sample` it was meant to reach, so
// that the trace stops where the recording stopped.
void draw_raw_trace(graph::Surface &surface, const common::MeasurementState &state);
void draw_raw_trace(graph::Surface &surface, const common::MeasurementState &state, std::int32_t planned_last_sample);

}  // namespace acquisition
