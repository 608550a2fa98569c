// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The timed recording of the readings of 計測 into the measurement state.

#include "acquisition/loop_host.h"
#include "common/measurement_plan.h"
#include "common/measurement_state.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace acquisition {

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
    // Reading i: how late past its deadline the system woke the thread from the quiet sleep before
    // it, in ns; 0 when the wait did not end in one.
    std::vector<std::int64_t> woken_late_ns;
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

}  // namespace acquisition
