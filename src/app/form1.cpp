// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "form1.h"

#include "acquisition/live_view.h"
#include "acquisition/loop_host.h"
#include "acquisition/measurement.h"
#include "acquisition/schedule_check.h"
#include "acquisition/wait_till.h"
#include "analysis/holes_text.h"
#include "analysis/least_squares.h"
#include "analysis/sections.h"
#include "common/limits.h"
#include "common/numeric.h"
#include "converter/converter.h"
#include "converter/real_port.h"
#include "graph/draw_graph.h"
#include "graph/fit_overlay.h"
#include "graph/surface.h"
#include "messages.h"
#include "picture_box.h"
#include "window_commands.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
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
constexpr int kPictureWidth = 660;
constexpr int kPictureHeight = 480;
// The progress bar is redrawn at most this often, so that showing progress costs the schedule
// nothing worth measuring.
constexpr std::int32_t kProgressIntervalMs = 250;

QFont text_box_font()
{
    graph::install_font_substitutes();
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPointSize(9);
    font.setBold(true);
    return font;
}

QFont interface_font()
{
    graph::install_font_substitutes();
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPointSize(9);
    return font;
}

#include "resources/undou-kaiseki.xpm"

std::int16_t read_channel_0() { return converter::read_converter(0); }

}  // namespace

Form1::Form1(acquisition::LoopHost &host, std::string port_name, QWidget *parent)
    : QWidget(parent), host_(host), port_name_(std::move(port_name))
{
    setWindowTitle(kCaption);
    setWindowIcon(program_icon());
    setFont(interface_font());
    resize(kClientWidth, kClientHeight);
    create_controls();
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

QIcon program_icon() { return QIcon(QPixmap(undou_kaiseki)); }

graph::Surface &Form1::picture() { return Picture1->surface(); }

void Form1::create_controls()
{
    auto button = [this](QPushButton *&control, const char *name, const QString &caption, QRect place) {
        control = new QPushButton(caption, this);
        control->setObjectName(QString::fromUtf8(name));
        control->setGeometry(place);
        control->setAutoDefault(false);
    };
    auto scroll_bar = [this](QScrollBar *&control, const char *name, QRect place, int first, int last, int page_step) {
        control = new QScrollBar(Qt::Horizontal, this);
        control->setObjectName(QString::fromUtf8(name));
        control->setGeometry(place);
        control->setRange(first, last);
        control->setSingleStep(1);
        control->setPageStep(page_step);
        control->setValue(1);
        // The value counts once the thumb is released, not while it is dragged.
        control->setTracking(false);
        // Qt's scroll bars take the arrow and page keys the other way round, as a scrolled view
        // does; a setting goes up with the right arrow and Page Up, as the bar's own arrows do.
        control->setInvertedControls(false);
        control->setFocusPolicy(Qt::StrongFocus);
        control->installEventFilter(this);
    };
    auto text_box = [this](QLineEdit *&control, const char *name, QRect place) {
        control = new QLineEdit(QStringLiteral("1"), this);
        control->setObjectName(QString::fromUtf8(name));
        control->setGeometry(place);
        control->setFont(text_box_font());
        control->setTextMargins(0, 0, 0, 0);
    };
    auto label = [this](QLabel *&control, const char *name, const QString &caption, QRect place) {
        control = new QLabel(caption, this);
        control->setObjectName(QString::fromUtf8(name));
        control->setGeometry(place);
    };

    // In tab order.
    button(Cmd_end, "Cmd_end", QStringLiteral("終了"), {16, 136, 81, 33});
    button(Cmd_計測, "Cmd_計測", QStringLiteral("計測"), {16, 40, 81, 33});
    scroll_bar(HScroll1, "HScroll1", {16, 288, 73, 25}, common::kShortestPeriodMs, common::kLongestPeriodMs, 10);
    text_box(Text1, "Text1", {32, 320, 33, 18});
    label(Label2, "Label2", QStringLiteral("計測周期"), {32, 272, 57, 17});
    label(Label3, "Label3", QStringLiteral("ms"), {72, 320, 25, 17});
    Picture1 = new PictureBox(kPictureWidth, kPictureHeight, this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(112, 40, kPictureWidth, kPictureHeight);
    Picture1->setFocusPolicy(Qt::TabFocus);
    button(Cmd_graph, "Cmd_graph", QStringLiteral("グラフ"), {16, 72, 81, 33});
    button(Cmd_最小2乗法, "Cmd_最小2乗法", QStringLiteral("最小２乗法"), {16, 104, 81, 33});
    button(Cmd_realtime, "Cmd_realtime", QStringLiteral("実時間計測"), {16, 184, 81, 33});
    button(Cmd_realstop, "Cmd_realstop", QStringLiteral("中止"), {16, 216, 81, 33});
    button(Cmd_yoko_large, "Cmd_yoko_large", QStringLiteral("横拡大"), {344, 536, 97, 33});
    button(Cmd_yoko_small, "Cmd_yoko_small", QStringLiteral("横縮小"), {440, 536, 89, 33});
    button(Cmd_tate_large, "Cmd_tate_large", QStringLiteral("縦拡大"), {544, 536, 81, 33});
    button(Cmd_tate_small, "Cmd_tate_small", QStringLiteral("縦縮小"), {624, 536, 89, 33});
    button(Cmd_hukugen, "Cmd_hukugen", QStringLiteral("元のグラフ"), {184, 536, 121, 33});
    scroll_bar(HScroll2, "HScroll2", {16, 376, 73, 25}, common::kShortestTimeS, common::kLongestTimeS, 1);
    text_box(Text2, "Text2", {32, 408, 33, 18});
    label(Label4, "Label4", QStringLiteral("計測時間"), {32, 360, 57, 17});
    text_box(Text3, "Text3", {32, 504, 33, 18});
    label(Label5, "Label5", QStringLiteral("1区間の穴数"), {24, 456, 73, 17});
    label(Label1, "Label1", QStringLiteral("ｓ"), {72, 408, 17, 17});
    scroll_bar(HScroll3, "HScroll3", {24, 472, 57, 25}, common::kFewestHolesPerSection, common::kMostHolesOnBar, 1);

    measure_progress = new QProgressBar(this);
    measure_progress->setObjectName(QStringLiteral("measure_progress"));
    measure_progress->setGeometry(16, 542, 156, 16);
    measure_progress->setTextVisible(false);
    measure_progress->setFocusPolicy(Qt::NoFocus);
    measure_progress->hide();

    QWidget *const tab_order[] = {Cmd_end, Cmd_計測, HScroll1, Text1, Picture1, Cmd_graph, Cmd_最小2乗法, Cmd_realtime,
        Cmd_realstop, Cmd_yoko_large, Cmd_yoko_small, Cmd_tate_large, Cmd_tate_small, Cmd_hukugen, HScroll2, Text2,
        Text3, HScroll3};
    for (std::size_t i = 1; i < std::size(tab_order); ++i)
        setTabOrder(tab_order[i - 1], tab_order[i]);
    Cmd_end->setFocus();

    connect(Cmd_end, &QPushButton::clicked, this, [this] { Cmd_end_click(); });
    connect(Cmd_計測, &QPushButton::clicked, this, [this] { Cmd_計測_click(); });
    connect(Cmd_graph, &QPushButton::clicked, this, [this] { Cmd_graph_click(); });
    connect(Cmd_最小2乗法, &QPushButton::clicked, this, [this] { Cmd_最小2乗法_click(); });
    connect(Cmd_realtime, &QPushButton::clicked, this, [this] { Cmd_realtime_click(); });
    connect(Cmd_realstop, &QPushButton::clicked, this, [this] { Cmd_realstop_click(); });
    connect(Cmd_tate_large, &QPushButton::clicked, this, [this] { Cmd_tate_large_click(); });
    connect(Cmd_tate_small, &QPushButton::clicked, this, [this] { Cmd_tate_small_click(); });
    connect(Cmd_yoko_large, &QPushButton::clicked, this, [this] { Cmd_yoko_large_click(); });
    connect(Cmd_yoko_small, &QPushButton::clicked, this, [this] { Cmd_yoko_small_click(); });
    connect(Cmd_hukugen, &QPushButton::clicked, this, [this] { Cmd_hukugen_click(); });
    connect(HScroll1, &QScrollBar::valueChanged, this, [this] { HScroll1_change(); });
    connect(HScroll2, &QScrollBar::valueChanged, this, [this] { HScroll2_change(); });
    connect(HScroll3, &QScrollBar::valueChanged, this, [this] { HScroll3_change(); });
    connect(Text1, &QLineEdit::editingFinished, this, [this] { confirm_setting(Text1, HScroll1); });
    connect(Text2, &QLineEdit::editingFinished, this, [this] { confirm_setting(Text2, HScroll2); });
}

void Form1::Form_Load()
{
    state.x_zoom = 1.0f;
    state.y_zoom = 1.0f;
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
    state.graphed = false;
    state.fit_shown = false;
    state.plotted_sections = 0;
    strip_analysis.reset();
    set_scale_buttons_enabled(false);
    announce_graph_change();
}

void Form1::announce_graph_change()
{
    if (graph_changed)
        graph_changed();
}

QString Form1::device_name() const { return QString::fromStdString(converter::device_name(port_name_)); }

void Form1::show_port_failure() { show_message(messages::port_cannot_open(device_name())); }

bool Form1::prepare_converter()
{
    if (!converter::open_port(port_name_)) {
        show_port_failure();
        return false;
    }
    const bool answered = converter::init_converter();
    // Failed line operations say more than a silent converter: every query of a port without
    // modem lines fails, and the converter then looks silent as well.
    const bool lines_failed = converter::line_failures() > 0;
    if (lines_failed || !answered) {
        converter::close_port();
        show_message(lines_failed ? messages::port_lost(device_name()) : messages::converter_silent());
        return false;
    }
    return true;
}

bool Form1::lines_in_order() { return converter::line_failures() == 0; }

void Form1::WaitTill(const common::Tick &Next_time) { acquisition::wait_till(host_, Next_time); }

// --- leaving the program -------------------------------------------------------------------------

void Form1::Cmd_end_click()
{
    host_.cancel_loops();
    if (host_.active_loops() == 0)
        converter::close_port();
    end_program();
}

void Form1::end_program()
{
    hide();
    QCoreApplication::quit();
}

void Form1::closeEvent(QCloseEvent *event)
{
    // A sampling loop that is running ends first; the port is closed when it has unwound.
    host_.cancel_loops();
    if (host_.active_loops() == 0)
        converter::close_port();
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

void Form1::finish_cancelled_loop()
{
    if (host_.active_loops() == 0)
        converter::close_port();
}

// --- the settings ------------------------------------------------------------------------------

void Form1::HScroll1_change()
{
    // A measurement keeps the period it started with; the new one counts from the next 計測.
    if (!measuring_)
        state.period_ms = static_cast<std::int16_t>(HScroll1->value());
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

// --- 計測 --------------------------------------------------------------------------------------

void Form1::Cmd_計測_click()
{
    // One run at a time: a run started inside another's pump would hold the outer one until it
    // ended, and the outer one would then go on from there.
    if (sampling())
        return;
    // The converter is prepared before anything is cleared, so that a missing port or converter
    // leaves the last measurement, the picture and the buttons as they were.
    if (!prepare_converter())
        return;
    measuring_ = true;
    Cmd_計測->setEnabled(false);
    Cmd_realtime->setEnabled(false);
    measurement_replaced();
    acquisition::stop_requested = 0;
    acquisition::start_measurement(
        state, static_cast<std::int16_t>(HScroll1->value()), static_cast<std::int16_t>(HScroll2->value()));
    if (measurement_started)
        measurement_started();
    const std::int32_t planned_last_sample = state.last_sample;

    const std::int32_t readings = state.last_sample + 1;
    measure_progress->setRange(0, readings);
    measure_progress->setValue(0);
    measure_progress->show();
    common::Tick next_progress = host_.tick_count();
    acquisition::ScheduleRecord schedule;
    acquisition::RecordingWatch watch;
    watch.reading_taken = [&](std::int32_t taken) {
        const common::Tick now = host_.tick_count();
        if (common::tick_reached(now, next_progress) || taken == readings) {
            measure_progress->setValue(taken);
            next_progress = common::tick_add(now, kProgressIntervalMs);
        }
    };
    // 中止 ends the measurement after the reading in progress, and so do failed line operations.
    watch.keep_going = [] { return acquisition::stop_requested == 0 && lines_in_order(); };
    watch.schedule = &schedule;
    const acquisition::RecordingEnd end = acquisition::record_measurement(state, host_, read_channel_0, watch);
    measuring_ = false;
    if (end == acquisition::RecordingEnd::Cancelled) {
        finish_cancelled_loop();
        return;
    }
    const bool lines_failed = !lines_in_order();
    if (lines_failed)
        converter::close_port();
    measure_progress->hide();
    acquisition::draw_raw_trace(picture(), state, planned_last_sample);
    // A graph drawn from the half-filled samples meanwhile does not belong to the measurement.
    measurement_replaced();
    Cmd_計測->setEnabled(true);
    Cmd_realtime->setEnabled(true);
    if (lines_failed) {
        show_message(messages::port_lost(device_name()));
        return;
    }
    report_schedule(schedule);
    if (const std::optional<acquisition::ScheduleMiss> miss
        = acquisition::check_schedule(schedule, state.period_ms, state.samples, state.last_sample)) {
        show_message(miss->cause == acquisition::ScheduleMiss::Cause::SlowReadings
                ? messages::schedule_too_short(state.period_ms, miss->typical_reading_ms, miss->shortest_period_ms)
                : messages::schedule_paused(miss->worst_lateness_ms));
    }
}

void Form1::report_schedule(const acquisition::ScheduleRecord &schedule) const
{
    // One line for each recording, for whoever sets the schedule beside what the rest of the
    // computer did meanwhile, and only where UNDOU_SCHEDULE_LOG names a file: the end-to-end tests,
    // or a teacher comparing PCs.
    const QString path = qEnvironmentVariable("UNDOU_SCHEDULE_LOG");
    if (path.isEmpty())
        return;
    QFile log(path);
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    const std::string line = acquisition::schedule_report(schedule, state.period_ms, state.samples, state.last_sample,
        host_.clock().now_ns(), QDateTime::currentMSecsSinceEpoch());
    log.write(QByteArray::fromStdString(line + '\n'));
}

// --- 実時間計測 and 中止 ----------------------------------------------------------------------

void Form1::Cmd_realtime_click()
{
    // A press during a run of its own leaves that run going; the button stays enabled, as it
    // always was, and starts nothing inside it.
    if (sampling())
        return;
    state.period_ms = static_cast<std::int16_t>(HScroll1->value());
    // A live view of a port that is not there would only sweep a flat line at full scale.
    if (!prepare_converter())
        return;
    set_run_buttons_enabled(false);
    acquisition::stop_requested = 0;
    picture().clear();
    const acquisition::LiveEnd end = acquisition::run_live_view(
        host_, picture(), read_channel_0, [this] { return state.period_ms; }, &Form1::lines_in_order);
    if (end == acquisition::LiveEnd::Ended) {
        // The port has gone away: the run stops as 中止 would stop it, but the trace stays.
        converter::close_port();
        acquisition::stop_requested = 1;
        set_run_buttons_enabled(true);
        show_message(messages::port_lost(device_name()));
    }
    if (end == acquisition::LiveEnd::Stopped && !host_.loops_cancelled())
        set_run_buttons_enabled(true);
    if (host_.loops_cancelled())
        finish_cancelled_loop();
}

void Form1::Cmd_realstop_click()
{
    converter::close_port();
    acquisition::stop_requested = 1;
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

// --- the graph ---------------------------------------------------------------------------------

void Form1::Cmd_graph_click()
{
    // Sections are counted in whole holes: a text that is not a whole number from 1 up would leave
    // the grouping of the edges nothing sensible to divide by, so it changes nothing at all.
    const std::optional<std::int16_t> holes = analysis::parse_holes_per_section(Text3->text().toStdString());
    if (!holes) {
        show_message(messages::holes_per_section_refused());
        return;
    }
    // A whole number the bar can hold moves the bar too, so that its next step starts from there.
    const std::optional<std::int32_t> whole = analysis::parse_whole_number(Text3->text().toStdString());
    if (whole && *whole == *holes && *holes >= HScroll3->minimum() && *holes <= HScroll3->maximum())
        HScroll3->setValue(*holes);
    analysis::begin_graph(state, *holes);
    set_scale_buttons_enabled(true);
    if (!state.measured) {
        show_message(messages::measure_first());
        return;
    }
    const std::int32_t edges = analysis::analyse_sections(state);
    check_strip();
    graph::draw_graph(picture(), state, state.x_zoom, state.y_zoom, graph::LabelStyle::FirstDraw);
    announce_graph_change();
    if (edges == 0)
        show_message(messages::no_hole_edges());
    else if (strip_analysis && strip_analysis->check.found_something())
        show_message(messages::strip_check_found(strip_analysis->check));
}

void Form1::check_strip()
{
    // The readings of a run still recording end where it has got to, and a pulse cut off there
    // would look too short: the graph drawn meanwhile goes unchecked, and the run drops it.
    strip_analysis.reset();
    if (!measuring_)
        strip_analysis = analysis::analyse_strip(state);
}

void Form1::Cmd_最小2乗法_click()
{
    state.fit_shown = true;
    announce_graph_change();
    least_squares();
}

void Form1::least_squares()
{
    if (!state.measured || !state.graphed) {
        show_message(messages::graph_first());
        return;
    }
    // Fewer than two points, or points all at one time, have no line through them: the user is
    // told how to bring points into the box instead.
    const std::optional<analysis::LineFit> fit
        = analysis::fit_velocity_line(state.sect_time, state.sect_velocity, state.plotted_sections);
    if (!fit) {
        show_message(messages::fit_needs_two_points());
        return;
    }
    graph::draw_fit(picture(), fit->initial_velocity, fit->acceleration, state.x_zoom, state.y_zoom);
}

void Form1::redraw_zoomed()
{
    graph::draw_graph(picture(), state, state.x_zoom, state.y_zoom);
    // The results follow before a message about the fit holds the window.
    announce_graph_change();
    if (state.fit_shown)
        least_squares();
}

void Form1::change_zoom(float &factor, float by, float smallest, float largest)
{
    // The factors stay powers of two within bounds where every label still means something; a
    // press that would pass a bound changes nothing.
    const float changed = common::to_single(static_cast<double>(factor) * by);
    if (!(changed >= smallest && changed <= largest))
        return;
    factor = changed;
    redraw_zoomed();
}

void Form1::Cmd_tate_large_click() { change_zoom(state.y_zoom, 2.0f, graph::kSmallestYZoom, graph::kLargestYZoom); }

void Form1::Cmd_tate_small_click() { change_zoom(state.y_zoom, 0.5f, graph::kSmallestYZoom, graph::kLargestYZoom); }

void Form1::Cmd_yoko_large_click() { change_zoom(state.x_zoom, 2.0f, graph::kSmallestXZoom, graph::kLargestXZoom); }

void Form1::Cmd_yoko_small_click() { change_zoom(state.x_zoom, 0.5f, graph::kSmallestXZoom, graph::kLargestXZoom); }

void Form1::Cmd_hukugen_click()
{
    state.x_zoom = 1.0f;
    state.y_zoom = 1.0f;
    graph::draw_graph(picture(), state, state.x_zoom, state.y_zoom);
    state.fit_shown = false;
    announce_graph_change();
}
