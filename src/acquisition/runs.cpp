// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "acquisition/runs.h"

#include "acquisition/edge_stamps.h"
#include "acquisition/live_view.h"
#include "acquisition/streaming.h"

#include <QScopeGuard>

#include <chrono>
#include <cstdlib>
#include <fstream>

namespace acquisition {
namespace {

// One line for each recording, for whoever sets the schedule beside what the rest of the computer
// did meanwhile, and only where UNDOU_SCHEDULE_LOG names a file: the end-to-end tests, or a
// teacher comparing PCs.
void append_schedule_log(const ScheduleRecord &schedule, const common::MeasurementState &state, LoopHost &host)
{
    const char *path = std::getenv("UNDOU_SCHEDULE_LOG");
    if (!path || !*path)
        return;
    std::ofstream log(path, std::ios::app);
    if (!log)
        return;
    const auto calendar_ms
        = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
              .count();
    log << schedule_report(schedule, state.period_ms, state.samples, state.last_sample, host.clock().now_ns(),
        static_cast<std::int64_t>(calendar_ms))
        << '\n';
}

// The board's faults, as the outcome of either run names them; nothing for an end that is not one.
template <typename Kind> std::optional<Kind> board_fault(StreamEnd end)
{
    switch (end) {
    case StreamEnd::PortLost:
        return Kind::PortLost;
    case StreamEnd::Lost:
        return Kind::ReadingLost;
    case StreamEnd::Overflow:
        return Kind::BoardOverflow;
    case StreamEnd::Silent:
        return Kind::BoardSilent;
    case StreamEnd::Finished:
    case StreamEnd::Stopped:
    case StreamEnd::Cancelled:
        break;
    }
    return std::nullopt;
}

// Limits the polling at the end of each wait for as long as it lives.
class SpinLimit {
public:
    SpinLimit(LoopHost &host, std::int64_t limit_ns) : host_(host) { host_.limit_spin(limit_ns); }
    ~SpinLimit() { host_.limit_spin(kNoSpinLimit); }
    SpinLimit(const SpinLimit &) = delete;
    SpinLimit &operator=(const SpinLimit &) = delete;

private:
    LoopHost &host_;
};

}  // namespace

std::optional<converter::SessionFault> open_session(
    LoopHost &host, converter::ConverterSession &session, const std::string &port_name)
{
    // The wait counts as a run, so that no other run starts inside it.
    ActiveLoop opening(host);
    return session.open(port_name);
}

MeasurementRun::MeasurementRun(LoopHost &host, converter::ConverterSession &session)
    : host_(host), session_(session) { }

MeasurementOutcome MeasurementRun::run(common::MeasurementState &state, const std::string &port_name,
    std::int16_t period_ms, std::int16_t meas_time_s, const Watch &watch)
{
    // The converter is prepared before anything is cleared, so that a missing port or converter
    // leaves the last measurement as it was.
    if (const std::optional<converter::SessionFault> fault = open(port_name)) {
        MeasurementOutcome outcome;
        outcome.kind = MeasurementOutcome::Kind::NotStarted;
        outcome.fault = fault;
        return outcome;
    }
    return record(state, period_ms, meas_time_s, watch);
}

std::optional<converter::SessionFault> MeasurementRun::open(const std::string &port_name)
{
    hold_.reset();
    if (std::optional<converter::SessionFault> fault = open_session(host_, session_, port_name))
        return fault;
    hold_.emplace(host_.priority_system());
    priority_ = hold_->grant();
    return std::nullopt;
}

MeasurementOutcome MeasurementRun::record(
    common::MeasurementState &state, std::int16_t period_ms, std::int16_t meas_time_s, const Watch &watch)
{
    using Kind = MeasurementOutcome::Kind;
    MeasurementOutcome outcome;
    // The standing is given back on every way out of the run.
    const auto give_back = qScopeGuard([this] { hold_.reset(); });
    const SpinLimit spin(host_, priority_.realtime() ? kRealtimeSpinLimitNs : kNoSpinLimit);
    if (watch.prepared)
        watch.prepared();
    stop_requested = 0;
    common::start_measurement(state, period_ms, meas_time_s);
    outcome.planned_last_sample = state.last_sample;
    if (watch.started)
        watch.started();
    if (converter::StreamingConverter *board = session_.converter().streaming()) {
        take_from_board(*board, state, watch, outcome);
        return outcome;
    }

    RecordingWatch recording;
    recording.reading_taken = watch.reading_taken;
    // 中止 ends the measurement after the reading in progress, and so do failed line operations.
    recording.keep_going = [this] { return stop_requested == 0 && session_.lines_in_order(); };
    recording.schedule = &schedule_;
    const RecordingEnd end = record_measurement(
        state, host_, [this] { return session_.read(); }, recording);
    if (end == RecordingEnd::Cancelled) {
        if (host_.active_loops() == 0)
            session_.close();
        outcome.kind = Kind::Cancelled;
        return outcome;
    }
    if (!session_.lines_in_order()) {
        session_.close();
        outcome.kind = Kind::PortLost;
        return outcome;
    }
    append_schedule_log(schedule_, state, host_);
    outcome.miss = check_schedule(schedule_, state.period_ms, state.samples, state.last_sample);
    outcome.kind = outcome.miss ? Kind::ScheduleMissed : end == RecordingEnd::Ended ? Kind::Stopped : Kind::Finished;
    return outcome;
}

void MeasurementRun::take_from_board(converter::StreamingConverter &board, common::MeasurementState &state,
    const Watch &watch, MeasurementOutcome &outcome)
{
    using Kind = MeasurementOutcome::Kind;
    // The board keeps the schedule by its own clock; the sequence numbers say whether one was lost.
    schedule_ = {};
    StreamWatch stream;
    stream.stop_requested = &stop_requested;
    stream.reading = [&state, &watch](std::int32_t index, std::int16_t value) {
        state.samples[static_cast<std::size_t>(index)] = value;
        if (watch.reading_taken)
            watch.reading_taken(index + 1);
    };
    // A board of layout 2 stamps the edges beside its readings.
    state.stamps = {};
    state.stamps.stamped = board.stamps_edges();
    StampCollector stamps(state.stamps, board.clock_correction_ppm());
    if (state.stamps.stamped)
        stream.edge
            = [&stamps](const converter::BoardEvent &edge) { stamps.take(edge.rising, edge.sequence, edge.value); };
    const StreamResult result = stream_readings(host_, board, state.period_ms, state.last_sample + 1, stream);
    state.stamps.lost = result.edges_lost;
    if (result.readings == 0) {
        state.measured = false;
        state.last_sample = 0;
    } else if (result.readings <= state.last_sample) {
        state.last_sample = result.readings - 1;
    }
    stamps.end(std::int64_t(state.last_sample) * state.period_ms * 1000);
    outcome.first_missing = result.first_missing;
    outcome.noise = result.noise;
    if (const std::optional<Kind> fault = board_fault<Kind>(result.end)) {
        outcome.kind = *fault;
        session_.close();
        return;
    }
    if (result.end == StreamEnd::Cancelled) {
        if (host_.active_loops() == 0)
            session_.close();
        outcome.kind = Kind::Cancelled;
        return;
    }
    outcome.kind = result.end == StreamEnd::Finished ? Kind::Finished : Kind::Stopped;
}

LiveRun::LiveRun(LoopHost &host, converter::ConverterSession &session) : host_(host), session_(session) { }

LiveOutcome LiveRun::run(const std::string &port_name, const std::function<std::int32_t()> &period_ms,
    const std::function<void(std::int16_t reading)> &show, const std::function<void()> &prepared)
{
    using Kind = LiveOutcome::Kind;
    LiveOutcome outcome;
    // A live view of a port that is not there would only sweep a flat line at full scale.
    if (const std::optional<converter::SessionFault> fault = open_session(host_, session_, port_name)) {
        outcome.kind = Kind::NotStarted;
        outcome.fault = fault;
        return outcome;
    }
    const PriorityHold priority(host_.priority_system());
    priority_ = priority.grant();
    const SpinLimit spin(host_, kLiveSpinLimitNs);
    stop_requested = 0;
    if (prepared)
        prepared();
    if (converter::StreamingConverter *board = session_.converter().streaming())
        return show_from_board(*board, period_ms, show);
    const LiveEnd end = run_live_view(
        host_, [this] { return session_.read(); }, show, period_ms, stop_requested,
        [this] { return session_.lines_in_order(); });
    if (end == LiveEnd::Ended) {
        // The port has gone away: the run stops as 中止 would stop it.
        session_.close();
        stop_requested = 1;
        outcome.kind = Kind::PortLost;
    } else if (host_.loops_cancelled()) {
        if (host_.active_loops() == 0)
            session_.close();
        outcome.kind = Kind::Cancelled;
    } else {
        outcome.kind = Kind::Stopped;
    }
    return outcome;
}

LiveOutcome LiveRun::show_from_board(converter::StreamingConverter &board,
    const std::function<std::int32_t()> &period_ms, const std::function<void(std::int16_t reading)> &show)
{
    using Kind = LiveOutcome::Kind;
    LiveOutcome outcome;
    StreamWatch stream;
    stream.stop_requested = &stop_requested;
    stream.period_ms = period_ms;
    // Readings still on their way after 中止 are not drawn on the cleared picture.
    stream.reading = [this, &show](std::int32_t, std::int16_t value) {
        if (stop_requested == 0)
            show(value);
    };
    const StreamResult result = stream_readings(host_, board, period_ms(), 0, stream);
    outcome.noise = result.noise;
    if (const std::optional<Kind> fault = board_fault<Kind>(result.end)) {
        // As when the port goes away: the run stops as 中止 would stop it.
        outcome.kind = *fault;
        session_.close();
        stop_requested = 1;
        return outcome;
    }
    if (result.end == StreamEnd::Cancelled) {
        if (host_.active_loops() == 0)
            session_.close();
        outcome.kind = Kind::Cancelled;
        return outcome;
    }
    outcome.kind = Kind::Stopped;
    return outcome;
}

}  // namespace acquisition
