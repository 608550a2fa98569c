// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// What 計測 and 実時間計測 do between pressing the button and the run's end, apart from the window:
// the session is opened and its converter prepared, the readings are taken on the loop host's
// schedule (or, from a board, as its own clock takes them), and the run says how it ended as a
// value that the window turns into its message.

#include "acquisition/loop_host.h"
#include "acquisition/measurement.h"
#include "acquisition/run_priority.h"
#include "acquisition/schedule_check.h"
#include "common/measurement_state.h"
#include "converter/converter.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace acquisition {

struct MeasurementOutcome {
    enum class Kind {
        NotStarted,      // the session did not start (`fault`): nothing was cleared or taken
        Finished,        // every reading was taken, on schedule
        Stopped,         // 中止 ended it early; the readings taken so far are kept
        PortLost,        // the port's lines failed; the readings so far are kept, the port is closed
        ScheduleMissed,  // finished or stopped, but off its schedule as `miss` says
        Cancelled,       // the window is going away; the readings so far are kept
        // The board's faults; the readings before each are kept, the port is closed.
        ReadingLost,    // reading `first_missing` did not come in its place (garbled on the way: `noise`)
        BoardOverflow,  // the board could not send its readings as fast as it took them
        BoardSilent,    // the board stopped sending
    };
    Kind kind = Kind::Finished;
    std::optional<converter::SessionFault> fault;
    std::optional<ScheduleMiss> miss;
    std::int32_t first_missing = 0;
    bool noise = false;
    // The last reading the run was planned to reach, which the raw trace is drawn to the scale of.
    std::int32_t planned_last_sample = 0;
};

// Opens the session on `port_name` and prepares its converter, as both runs do first; a board is
// waited for while it starts, the thread's events handled meanwhile. A board kept open from the
// run before is ready at once.
std::optional<converter::SessionFault> open_session(
    LoopHost &host, converter::ConverterSession &session, const std::string &port_name);

// One 計測 at a time: run() may be called again once it has returned.
class MeasurementRun {
public:
    MeasurementRun(LoopHost &host, converter::ConverterSession &session);

    struct Watch {
        // The session is open and its converter answered; nothing is cleared yet.
        std::function<void()> prepared;
        // The state has been started; the first reading comes next.
        std::function<void()> started;
        ReadingTaken reading_taken;
    };
    // Opens the session on `port_name`, starts the state with the period and the time, and takes
    // readings 0..N into it. On a failed line the port is closed; when the window is going away,
    // the port is closed once the last sampling loop has unwound. A run that ends before reading 0
    // leaves the state without a measurement.
    MeasurementOutcome run(common::MeasurementState &state, const std::string &port_name, std::int16_t period_ms,
        std::int16_t meas_time_s, const Watch &watch = {});
    // The two halves of run(), for a window that does its own part in between: open() opens the
    // session and asks the system for the run's standing (nothing when the converter answered),
    // record() takes the readings and gives the standing back. Both on the thread that takes the
    // readings, which is the one the standing is for. record() on a session that open() did not
    // start gives a port lost; abandon() gives the standing back when record() is not to follow.
    std::optional<converter::SessionFault> open(const std::string &port_name);
    MeasurementOutcome record(
        common::MeasurementState &state, std::int16_t period_ms, std::int16_t meas_time_s, const Watch &watch = {});
    void abandon() { hold_.reset(); }
    // 中止: the run ends after the reading in progress. Any thread may call it.
    void stop() { stop_requested.store(1); }
    // How the last run kept its schedule.
    const ScheduleRecord &schedule() const { return schedule_; }
    // The standing the last run had from the system, known once open() has returned.
    const PriorityGrant &priority() const { return priority_; }

    // Set by stop(), cleared when a run starts; tested after each reading and each wait.
    std::atomic<std::int16_t> stop_requested{0};

private:
    void take_from_board(converter::StreamingConverter &board, common::MeasurementState &state, const Watch &watch,
        MeasurementOutcome &outcome);

    LoopHost &host_;
    converter::ConverterSession &session_;
    ScheduleRecord schedule_;
    PriorityGrant priority_;
    std::optional<PriorityHold> hold_;
};

struct LiveOutcome {
    enum class Kind {
        NotStarted,  // the session did not start (`fault`)
        Stopped,     // 中止
        PortLost,    // the port's lines failed: the run stopped as 中止 would stop it, the port is closed
        Cancelled,   // the window is going away
        // The board's faults, as for a measurement; the port is closed.
        ReadingLost,
        BoardOverflow,
        BoardSilent,
    };
    Kind kind = Kind::Stopped;
    std::optional<converter::SessionFault> fault;
    bool noise = false;
};

// One 実時間計測 at a time.
class LiveRun {
public:
    LiveRun(LoopHost &host, converter::ConverterSession &session);

    // Opens the session on `port_name` and shows each reading through `show` until stop() is called,
    // the lines fail or the loops are cancelled; the period is read afresh through `period_ms`
    // before each wait. `prepared` is called once the converter has answered, before the first
    // reading.
    LiveOutcome run(const std::string &port_name, const std::function<std::int32_t()> &period_ms,
        const std::function<void(std::int16_t reading)> &show, const std::function<void()> &prepared = {});
    void stop() { stop_requested.store(1); }
    const PriorityGrant &priority() const { return priority_; }

    // Set by stop(), cleared when a run starts; tested before every reading.
    std::atomic<std::int16_t> stop_requested{0};

private:
    LiveOutcome show_from_board(converter::StreamingConverter &board, const std::function<std::int32_t()> &period_ms,
        const std::function<void(std::int16_t reading)> &show);

    LoopHost &host_;
    converter::ConverterSession &session_;
    PriorityGrant priority_;
};

// How long at most a run under a real-time policy polls the end of each wait, and the live view
// whatever its standing.
inline constexpr std::int64_t kRealtimeSpinLimitNs = 50'000;
inline constexpr std::int64_t kLiveSpinLimitNs = 20'000;

}  // namespace acquisition
