// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Whether a recording kept its schedule closely enough for the analysis, which takes reading i to
// have been taken exactly i periods after reading 0.
//
// The rule. A reading that starts less than a period late is still nearer its own instant than
// its neighbour's, so the error it adds to a time stays within the one period that sampling
// leaves open anyway. A reading a whole period or more late is not, and two cases are told apart:
//  - the readings themselves take a period or more (more than a hundredth of them do): the loop
//    falls behind again and again, the times after each slow reading are wrong, and a longer
//    period is the cure. This is what a USB serial adapter does at short periods.
//  - the readings are quick, but the computer stopped the program for a moment. The readings
//    during such a pause are late, yet only a hole edge that falls among them puts a wrong time
//    into the analysis; a pause over a dark or a lit stretch of the strip changes no result. So
//    such a pause counts only where the signal crosses the edge threshold on a late reading, or
//    where it lasted long enough to hide a whole hole or bar: where the two readings around it lie
//    as far apart as the run of the other kind next to them took. The strip would then look as if
//    it lacked a hole.

#include "acquisition/measurement.h"
#include "common/reading_span.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace acquisition {

struct ScheduleMiss {
    enum class Cause {
        SlowReadings,  // the readings take a period or more
        Pause,         // a pause of the computer delayed readings at a hole edge
    };
    Cause cause = Cause::SlowReadings;
    double typical_reading_ms = 0;        // the median time of one reading
    double worst_lateness_ms = 0;         // the latest start of a reading behind its deadline
    std::int32_t shortest_period_ms = 0;  // the shortest period of the setting that would have held
    // The readings that started a period or more late, as late_readings gives them: the analysis
    // cannot take their times as the cart's.
    std::vector<common::ReadingSpan> late_readings;
};

// The readings 0..last_sample of `record` that started a period or more behind their deadlines, in
// ascending spans of consecutive readings, each span as long as it can be.
std::vector<common::ReadingSpan> late_readings(
    const ScheduleRecord &record, std::int32_t period_ms, std::int32_t last_sample);

// The shortest period from 1 to 1000 ms that readings taking `reading_ns` would hold: a tenth above
// the slowest of all but the slowest hundredth, for the event pump between readings and the spread
// of the reading times. 1000 when even that does not hold.
std::int32_t shortest_period_ms(const std::vector<std::int64_t> &reading_ns);

// Judges a recording of readings 0..last_sample by the rule above; nothing when it held. `samples`
// are the readings recorded, `period_ms` the period of the recording. A miss names its late
// readings.
std::optional<ScheduleMiss> check_schedule(const ScheduleRecord &record, std::int32_t period_ms,
    const std::vector<std::int16_t> &samples, std::int32_t last_sample);

// One line on how a recording kept its schedule, for whoever sets it beside what the rest of the
// computer did meanwhile (a test on a shared machine, a teacher comparing PCs): the period, the
// readings, the verdict of check_schedule ("held", "paused" or "slow"), the latest reading, and
// the readings that started half a period or more late, latest first (at most
// kReportedLateReadings), each with its index, its lateness, how late the system woke the thread
// from the sleep before it (the part of the lateness that no code of the program's took), whether
// a hole edge fell on it, and
// the moment it started on the calendar clock in ms since 1970. `clock_now_ns` and
// `calendar_now_ms` are the same moment on the loop host's clock and on the calendar clock.
//   schedule period_ms=1 readings=1001 verdict=paused worst_late_ms=9.213 late=2 late_at_edge=1
//   | late i=532 late_ms=9.213 woke_ms=9.1 edge=1 at_ms=1765270000123 | late i=533 late_ms=8.2 ...
std::string schedule_report(const ScheduleRecord &record, std::int32_t period_ms,
    const std::vector<std::int16_t> &samples, std::int32_t last_sample, std::int64_t clock_now_ns,
    std::int64_t calendar_now_ms);
inline constexpr std::size_t kReportedLateReadings = 20;

}  // namespace acquisition
