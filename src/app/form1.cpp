// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "form1.h"

#include "acquisition/sampling_thread.h"
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

}  // namespace

Form1::Form1(acquisition::RunPlace &place, converter::ConverterSession &session, std::string port_name, QWidget *parent)
    : QWidget(parent),
      place_(place),
      session_(session),
      port_name_(std::move(port_name)),
      document_(this),
      measurement_run_(place.host(), session),
      live_run_(place.host(), session)
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
    // A run still going fills members of this window: it ends before they go.
    if (run_going_)
        cancel_runs();
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
    // A box that waits in a loop of its own would hold the handler that showed it until OK is
    // pressed, and the run's progress and end would come inside that loop. The box is shown at once
    // all the same, modal to the window as every other box is, but it returns at once and the
    // window's own loop serves it. Holding the message until the run ends would tell the user about
    // a press long after it.
    box->open();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    // A scroll bar's own menu waits in a loop of its own until it closes, and the run's progress and
    // end would wait with it: during a run a right click on a bar opens nothing. The bar's arrows,
    // track and keys stay live.
    if (event->type() == QEvent::ContextMenu && sampling()
        && (watched == HScroll1 || watched == HScroll2 || watched == HScroll3))
        return true;
    return QWidget::eventFilter(watched, event);
}

bool Form1::sampling() const { return run_going_; }

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
    // A sampling loop that is running ends first, at its next test; the run closes the port when
    // it has unwound, and otherwise the port is closed where the runs take their readings. The
    // window waits for both: at most a period and a reading, or the converter's own wait for an
    // answer while it is being prepared.
    place_.cancel();
    place_.post([this] {
        if (place_.host().active_loops() == 0)
            session_.close();
    });
    place_.wait_idle();
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
    // A measurement keeps the period it started with; the new one counts from the next 計測. A live
    // view takes it at its next reading.
    if (!measuring_) {
        document_.state.period_ms = static_cast<std::int16_t>(HScroll1->value());
        live_period_ms_.store(HScroll1->value());
    }
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
