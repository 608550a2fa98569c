// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The window's runs: 計測, 実時間計測 and 中止. Each run takes its readings at the window's run
// place, a thread of their own in the program; what the window does with them (the progress bar,
// the sweep, the raw trace and the messages) comes back to the window's thread as queued calls.
// So a paint, a dialog or a screen capture that holds the window up never holds up a reading.

#include "form1.h"

#include "acquisition/sampling_thread.h"
#include "graph/draw_graph.h"
#include "graph/surface.h"
#include "messages.h"
#include "run_messages.h"

#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace {

// The progress bar is redrawn at most this often, so that showing progress costs the window next to
// nothing.
constexpr std::int32_t kProgressIntervalMs = 250;
// How often the window looks whether the board it runs on is being started.
constexpr std::int32_t kBoardStartingLookMs = 100;

}  // namespace

void Form1::watch_board_starting()
{
    if (!session_.converter().streaming())
        return;
    // A board kept open is found gone only when the run looks at its port: the bar follows.
    if (!board_starting_) {
        board_starting_ = new QTimer(this);
        board_starting_->setInterval(kBoardStartingLookMs);
        connect(board_starting_, &QTimer::timeout, this, [this] { show_board_starting(); });
    }
    show_board_starting();
    board_starting_->start();
}

void Form1::show_board_starting()
{
    // A board still to be greeted takes a second or two to start, its boot loader first: the bar
    // says so meanwhile, and no reading is kept until it answers.
    const converter::StreamingConverter *board = session_.converter().streaming();
    if (!board || board->ready() || measure_progress->isTextVisible())
        return;
    measure_progress->setRange(0, 1);
    measure_progress->setValue(0);
    measure_progress->setFormat(QStringLiteral("ボードの準備中"));
    measure_progress->setTextVisible(true);
    measure_progress->show();
}

void Form1::open_board_at_start()
{
    // The board starts while the teacher sets up, so that the first 計測 need not wait for it. A
    // board that is not there says nothing yet: 計測 looks for it again, and names what it found.
    if (!session_.converter().streaming())
        return;
    place_.post([this] { acquisition::open_session(place_.host(), session_, port_name_); });
}

void Form1::hide_board_starting()
{
    if (board_starting_)
        board_starting_->stop();
    if (!measure_progress->isTextVisible())
        return;
    measure_progress->setTextVisible(false);
    measure_progress->hide();
}

void Form1::on_window(std::function<void()> call) { QMetaObject::invokeMethod(this, std::move(call)); }

void Form1::Cmd_計測_click()
{
    // One run at a time.
    if (sampling())
        return;
    run_going_ = true;
    stop_pressed_ = false;
    const auto period_ms = static_cast<std::int16_t>(HScroll1->value());
    const auto time_s = static_cast<std::int16_t>(HScroll2->value());
    watch_board_starting();
    place_.post([this, period_ms, time_s] {
        const std::optional<converter::SessionFault> fault = measurement_run_.open(port_name_);
        on_window([this, fault, period_ms, time_s] { measurement_opened(fault, period_ms, time_s); });
    });
}

void Form1::measurement_opened(
    const std::optional<converter::SessionFault> &fault, std::int16_t period_ms, std::int16_t time_s)
{
    // The converter is prepared before anything is cleared, so that a missing port or converter
    // leaves the last measurement as it was; so does 中止, or the window going away, meanwhile.
    hide_board_starting();
    if (fault || stop_pressed_ || place_.host().loops_cancelled()) {
        run_going_ = false;
        if (fault) {
            show_session_fault(*fault);
        } else {
            place_.post([this] {
                measurement_run_.abandon();
                session_.close();
            });
        }
        return;
    }
    measuring_ = true;
    Cmd_計測->setEnabled(false);
    Cmd_realtime->setEnabled(false);
    measurement_replaced();
    // The document holds the run's plan from now on, and its readings as the window takes them.
    common::start_measurement(document_.state, period_ms, time_s);
    readings_taken_.store(0);
    readings_copied_ = 0;
    const std::int32_t readings = document_.state.last_sample + 1;
    emit document_.measurement_started();
    measure_progress->setRange(0, readings);
    measure_progress->setValue(0);
    measure_progress->show();
    // The bar's first paint lays out its style and glyphs, before the first reading.
    measure_progress->repaint();
    place_.post([this, period_ms, time_s, readings] {
        common::Tick next_progress = place_.host().tick_count();
        acquisition::MeasurementRun::Watch watch;
        watch.reading_taken = [this, readings, &next_progress](std::int32_t taken) {
            readings_taken_.store(taken, std::memory_order_release);
            const common::Tick now = place_.host().tick_count();
            if (common::tick_reached(now, next_progress) || taken == readings) {
                on_window([this, taken] { show_progress(taken); });
                next_progress = common::tick_add(now, kProgressIntervalMs);
            }
        };
        const acquisition::MeasurementOutcome outcome = measurement_run_.record(recording_, period_ms, time_s, watch);
        on_window([this, outcome] { measurement_ended(outcome); });
    });
}

void Form1::take_recorded_readings()
{
    // Readings before the count are written once, before the count was published, and never again.
    const std::int32_t taken
        = std::min(readings_taken_.load(std::memory_order_acquire), document_.state.last_sample + 1);
    if (taken > readings_copied_)
        std::copy(recording_.samples.begin() + readings_copied_, recording_.samples.begin() + taken,
            document_.state.samples.begin() + readings_copied_);
    readings_copied_ = std::max(readings_copied_, taken);
}

void Form1::show_progress(std::int32_t taken)
{
    if (!measuring_)
        return;
    take_recorded_readings();
    measure_progress->setValue(taken);
}

void Form1::measurement_ended(const acquisition::MeasurementOutcome &outcome)
{
    using Kind = acquisition::MeasurementOutcome::Kind;
    measuring_ = false;
    run_going_ = false;
    if (outcome.kind == Kind::Cancelled)
        return;
    common::MeasurementState &state = document_.state;
    // The readings the loop took, each once: the recording as the run leaves it.
    static_cast<common::Recording &>(state) = static_cast<const common::Recording &>(recording_);
    measure_progress->hide();
    // A board's run that ended before its first reading has nothing to draw.
    if (state.measured)
        graph::draw_raw_trace(picture(), state, outcome.planned_last_sample);
    else
        picture().clear();
    // A graph drawn from the half-filled samples meanwhile does not belong to the measurement.
    measurement_replaced();
    Cmd_計測->setEnabled(true);
    Cmd_realtime->setEnabled(true);
    if (const std::optional<QString> fault = messages::run_fault(outcome, state.period_ms, device_name())) {
        show_message(*fault);
        return;
    }
    if (!state.measured)
        return;
    document_.finish_recording(outcome.miss ? outcome.miss->late_readings : std::vector<common::ReadingSpan>{});
    if (const std::optional<acquisition::ScheduleMiss> &miss = outcome.miss)
        show_message(miss->cause == acquisition::ScheduleMiss::Cause::SlowReadings
                ? messages::schedule_too_short(state.period_ms, miss->typical_reading_ms, miss->shortest_period_ms)
                : messages::schedule_paused(miss->worst_lateness_ms));
}

void Form1::Cmd_realtime_click()
{
    // A press during a run of its own leaves that run going; the button stays enabled, as it
    // always was, and starts nothing inside it.
    if (sampling())
        return;
    run_going_ = true;
    stop_pressed_ = false;
    document_.state.period_ms = static_cast<std::int16_t>(HScroll1->value());
    live_period_ms_.store(document_.state.period_ms);
    sweep_ = {};
    live_readings_.clear();
    live_drawing_asked_.store(false);
    watch_board_starting();
    place_.post([this] {
        const acquisition::LiveOutcome outcome = live_run_.run(
            port_name_, [this] { return live_period_ms_.load(); },
            [this](std::int16_t reading) {
                live_readings_.push(reading);
                // One call on its way at a time: the window draws all that came when it gets to it.
                if (!live_drawing_asked_.exchange(true))
                    on_window([this] { draw_live_readings(); });
            },
            [this] {
                on_window([this] {
                    hide_board_starting();
                    set_run_buttons_enabled(false);
                    picture().clear();
                });
            });
        on_window([this, outcome] { live_ended(outcome); });
    });
}

void Form1::draw_live_readings()
{
    live_drawing_asked_.store(false);
    const std::vector<std::int16_t> readings = live_readings_.take_all();
    // Readings still on their way after 中止 are not drawn on the cleared picture.
    if (stop_pressed_ || !run_going_)
        return;
    for (const std::int16_t reading : readings)
        sweep_.draw(picture(), reading);
}

void Form1::live_ended(const acquisition::LiveOutcome &outcome)
{
    using Kind = acquisition::LiveOutcome::Kind;
    draw_live_readings();
    hide_board_starting();
    run_going_ = false;
    if (outcome.kind == Kind::NotStarted) {
        show_session_fault(*outcome.fault);
    } else if (const std::optional<QString> fault
        = messages::run_fault(outcome, document_.state.period_ms, device_name())) {
        // The run stopped as 中止 would stop it, but the trace stays.
        set_run_buttons_enabled(true);
        show_message(*fault);
    } else if (outcome.kind == Kind::Stopped) {
        set_run_buttons_enabled(true);
    }
}

void Form1::Cmd_realstop_click()
{
    if (run_going_)
        stop_pressed_ = true;
    measurement_run_.stop();
    live_run_.stop();
    // A board is told to stop by its run, which hears it answer. The converter's port is closed
    // where the runs take their readings, once the reading in progress is done.
    if (!session_.converter().streaming())
        place_.post([this] { session_.close(); });
    // During 計測 the measurement ends after its current reading, draws what it has taken and
    // gives the buttons back itself.
    if (measuring_)
        return;
    picture().clear();
    // A live run gives the buttons back once its loop has ended, at most one period later, so that
    // 計測 cannot start inside a run that is still winding down.
    if (!sampling())
        set_run_buttons_enabled(true);
}
