// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "form1.h"

#include "acquisition/loop_host.h"
#include "analysis/holes_text.h"
#include "common/numeric.h"
#include "graph/draw_graph.h"
#include "graph/fit_overlay.h"
#include "graph/surface.h"
#include "messages.h"
#include "picture_box.h"
#include "run_messages.h"
#include "window_commands.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

const QString kCaption = QStringLiteral("ケルノアによる運動の解析");
constexpr int kClientWidth = 831;
constexpr int kClientHeight = 582;
// The progress bar is redrawn at most this often, so that showing progress costs the schedule
// nothing worth measuring.
constexpr std::int32_t kProgressIntervalMs = 250;

}  // namespace

Form1::Form1(acquisition::LoopHost &host, converter::ConverterSession &session, std::string port_name, QWidget *parent)
    : QWidget(parent),
      host_(host),
      session_(session),
      port_name_(std::move(port_name)),
      document_(this),
      measurement_run_(host, session),
      live_run_(host, session)
{
    setWindowTitle(kCaption);
    setWindowIcon(program_icon());
    setFont(window_font());
    resize(kClientWidth, kClientHeight);
    create_controls();
    connect_controls();
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    Form_Load();
}

Form1::~Form1()
{
    // A text box that has the focus loses it while the widget below is being torn down, and would
    // then confirm its text on a window that is no longer whole.
    disconnect(Text1, nullptr, this, nullptr);
    disconnect(Text2, nullptr, this, nullptr);
}

graph::Surface &Form1::picture() { return Picture1->surface(); }

QWidget *Form1::picture_widget() const { return Picture1; }

QList<QLineEdit *> Form1::setting_boxes() const { return {Text1, Text2, Text3}; }

std::int16_t Form1::holes_setting() const
{
    return analysis::parse_holes_per_section(Text3->text().toStdString())
        .value_or(static_cast<std::int16_t>(HScroll3->value()));
}

void Form1::Form_Load()
{
    document_.state.x_zoom = 1.0f;
    document_.state.y_zoom = 1.0f;
    set_scale_buttons_enabled(false);
}

void Form1::set_scale_buttons_enabled(bool enabled)
{
    for (QPushButton *button : {Cmd_hukugen, Cmd_yoko_large, Cmd_yoko_small, Cmd_tate_large, Cmd_tate_small})
        button->setEnabled(enabled);
}

void Form1::set_run_buttons_enabled(bool enabled)
{
    for (QPushButton *button : {Cmd_計測, Cmd_graph, Cmd_最小2乗法, Cmd_end})
        button->setEnabled(enabled);
}

void Form1::show_message(const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::NoIcon, kCaption, text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Some styles decorate dialog buttons with icons; this box has none at all.
    box->button(QMessageBox::Ok)->setIcon(QIcon());
    if (!sampling()) {
        box->exec();
        return;
    }
    // A box that waits in a loop of its own would hold the sampling loop, whose pump is where this
    // handler runs, until OK is pressed: no reading would be taken meanwhile. The box is shown at
    // once all the same, modal to the window as every other box is, but it returns at once and the
    // sampling loop's own pump serves it. Holding the message until the run ends would tell the user
    // about a press long after it.
    box->open();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    // A scroll bar's own menu waits in a loop of its own until it closes, and the readings would
    // wait with it: during a run a right click on a bar opens nothing. The bar's arrows, track and
    // keys stay live.
    if (event->type() == QEvent::ContextMenu && sampling()
        && (watched == HScroll1 || watched == HScroll2 || watched == HScroll3))
        return true;
    return QWidget::eventFilter(watched, event);
}

bool Form1::sampling() const { return host_.active_loops() > 0; }

void Form1::measurement_replaced()
{
    set_scale_buttons_enabled(false);
    document_.measurement_replaced();
}

void Form1::show_opened_measurement(
    std::int32_t period_ms, std::int32_t time_s, const std::optional<std::int32_t> &holes_per_section)
{
    measurement_replaced();
    HScroll1->setValue(period_ms);
    HScroll2->setValue(time_s);
    // The scroll bars echo their value only when it changes; the text boxes show it either way.
    Text1->setText(QString::number(period_ms));
    Text2->setText(QString::number(time_s));
    document_.state.period_ms = static_cast<std::int16_t>(period_ms);
    // The next グラフ groups the holes as the saved one did.
    if (holes_per_section) {
        if (*holes_per_section >= HScroll3->minimum() && *holes_per_section <= HScroll3->maximum())
            HScroll3->setValue(*holes_per_section);
        Text3->setText(QString::number(*holes_per_section));
    }
    graph::draw_raw_trace(picture(), document_.state, common::plan_measurement(period_ms, time_s).last_sample);
}

QString Form1::device_name() { return messages::run_device(port_name_, session_.converter()); }

void Form1::show_session_fault(converter::SessionFault fault)
{
    show_message(messages::session_fault(fault, port_name_, session_.converter()));
}

// --- leaving the program -------------------------------------------------------------------------

void Form1::cancel_runs()
{
    // A sampling loop that is running ends first; the run closes the port when it has unwound.
    host_.cancel_loops();
    if (host_.active_loops() == 0)
        session_.close();
}

void Form1::Cmd_end_click()
{
    cancel_runs();
    hide();
    QCoreApplication::quit();
}

void Form1::closeEvent(QCloseEvent *event)
{
    cancel_runs();
    event->accept();
}

#ifdef Q_OS_WIN
bool Form1::nativeEvent(const QByteArray &event_type, void *message, qintptr *result)
{
    const auto *msg = static_cast<const MSG *>(message);
    if (event_type == "windows_generic_MSG" && sampling()
        && window_commands::holds_the_pump(msg->message, static_cast<std::uintptr_t>(msg->wParam))) {
        *result = 0;
        return true;
    }
    return QWidget::nativeEvent(event_type, message, result);
}
#endif

// --- the settings ------------------------------------------------------------------------------

void Form1::HScroll1_change()
{
    // A measurement keeps the period it started with; the new one counts from the next 計測.
    if (!measuring_)
        document_.state.period_ms = static_cast<std::int16_t>(HScroll1->value());
    Text1->setText(QString::number(HScroll1->value()));
}

void Form1::HScroll2_change() { Text2->setText(QString::number(HScroll2->value())); }

void Form1::HScroll3_change() { Text3->setText(QString::number(HScroll3->value())); }

void Form1::confirm_setting(QLineEdit *text, QScrollBar *bar)
{
    // Only the scroll bars are read by the commands, so a typed value counts only once the bar
    // holds it; anything else is replaced by what the bar holds.
    const std::optional<std::int32_t> typed = analysis::parse_whole_number(text->text().toStdString());
    if (typed && *typed >= bar->minimum() && *typed <= bar->maximum())
        bar->setValue(*typed);
    text->setText(QString::number(bar->value()));
}

// --- 計測, 実時間計測 and 中止 -----------------------------------------------------------------

void Form1::Cmd_計測_click()
{
    // One run at a time: a run started inside another's pump would hold the outer one until it
    // ended, and the outer one would then go on from there.
    if (sampling())
        return;
    common::MeasurementState &state = document_.state;
    common::Tick next_progress = 0;
    std::int32_t readings = 0;
    acquisition::MeasurementRun::Watch watch;
    watch.prepared = [&] {
        measuring_ = true;
        Cmd_計測->setEnabled(false);
        Cmd_realtime->setEnabled(false);
        measurement_replaced();
    };
    watch.started = [&] {
        emit document_.measurement_started();
        readings = state.last_sample + 1;
        measure_progress->setRange(0, readings);
        measure_progress->setValue(0);
        measure_progress->show();
        // The bar's first paint lays out its style and glyphs; done here, before the first
        // reading, it cannot make a reading late.
        measure_progress->repaint();
        next_progress = host_.tick_count();
    };
    watch.reading_taken = [&](std::int32_t taken) {
        const common::Tick now = host_.tick_count();
        if (common::tick_reached(now, next_progress) || taken == readings) {
            measure_progress->setValue(taken);
            next_progress = common::tick_add(now, kProgressIntervalMs);
        }
    };
    using Kind = acquisition::MeasurementOutcome::Kind;
    const acquisition::MeasurementOutcome outcome = measurement_run_.run(state, port_name_,
        static_cast<std::int16_t>(HScroll1->value()), static_cast<std::int16_t>(HScroll2->value()), watch);
    measuring_ = false;
    if (outcome.kind == Kind::NotStarted) {
        show_session_fault(*outcome.fault);
        return;
    }
    if (outcome.kind == Kind::Cancelled)
        return;
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
    common::MeasurementState &state = document_.state;
    state.period_ms = static_cast<std::int16_t>(HScroll1->value());
    sweep_ = {};
    using Kind = acquisition::LiveOutcome::Kind;
    const acquisition::LiveOutcome outcome = live_run_.run(
        port_name_, [&state] { return state.period_ms; },
        [this](std::int16_t reading) { sweep_.draw(picture(), reading); },
        [this] {
            set_run_buttons_enabled(false);
            picture().clear();
        });
    if (outcome.kind == Kind::NotStarted) {
        show_session_fault(*outcome.fault);
    } else if (const std::optional<QString> fault = messages::run_fault(outcome, state.period_ms, device_name())) {
        // The run stopped as 中止 would stop it, but the trace stays.
        set_run_buttons_enabled(true);
        show_message(*fault);
    } else if (outcome.kind == Kind::Stopped) {
        set_run_buttons_enabled(true);
    }
}

void Form1::Cmd_realstop_click()
{
    // A board is told to stop by its run, which hears it answer; the converter's port is closed.
    if (!session_.converter().streaming())
        session_.close();
    measurement_run_.stop();
    live_run_.stop();
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
