// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "acquisition/measurement.h"

#include "acquisition/wait_till.h"

namespace acquisition {

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
        // Room for every reading, written once before the first: a vector that grew during the run,
        // or touched fresh memory, would stop the loop for the system's memory bookkeeping, which
        // the window's thread may hold meanwhile.
        for (std::vector<std::int64_t> *figures : {&watch.schedule->lateness_ns, &watch.schedule->reading_ns,
                 &watch.schedule->started_ns, &watch.schedule->woken_late_ns}) {
            figures->assign(static_cast<std::size_t>(last) + 1, 0);
            figures->clear();
        }
    }
    std::int64_t woken_late_ns = 0;
    SamplingSchedule schedule(host);
    for (std::int32_t i = 0; i <= last; ++i) {
        const std::int64_t start_ns = host.clock().now_ns();
        state.samples[static_cast<std::size_t>(i)] = read_sample();
        if (watch.schedule) {
            const std::int64_t late_ns = i == 0 ? 0 : start_ns - deadline_moment_ns(start_ns, schedule.deadline());
            watch.schedule->lateness_ns.push_back(late_ns);
            watch.schedule->reading_ns.push_back(host.clock().now_ns() - start_ns);
            watch.schedule->started_ns.push_back(start_ns);
            watch.schedule->woken_late_ns.push_back(woken_late_ns);
        }
        if (watch.reading_taken)
            watch.reading_taken(i + 1);
        if (watch.keep_going && !watch.keep_going())
            return ended_after(i);
        const std::int64_t sleeps_before = host.sleeps();
        if (!schedule.wait_next(period_ms))
            return RecordingEnd::Cancelled;
        woken_late_ns = host.sleeps() != sleeps_before ? host.last_sleep_late_ns() : 0;
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

}  // namespace acquisition
