// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The one window of the program, with its controls and the handlers of every user action. The
// measurement it shows is its document; 計測 and 実時間計測 are runs of their own, which the window
// starts, stops and reports on. Each handler runs to its end on the window's thread. The runs take
// their readings at the window's run place (a thread of their own in the program) and tell the
// window how they go through calls queued to its thread: neither ever waits for the other.

#include "acquisition/reading_queue.h"
#include "acquisition/runs.h"
#include "graph/raw_trace.h"
#include "measurement_document.h"

#include <QFont>
#include <QIcon>
#include <QList>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QTimer;
class PictureBox;

namespace acquisition {
class RunPlace;
}
namespace converter {
class ConverterSession;
}
namespace graph {
class Surface;
}

// The program's icon: a green cart above a strip with holes, on a yellow ground.
QIcon program_icon();
// The font of the window's buttons and labels.
QFont window_font();

class Form1 : public QWidget {
public:
    // `place` takes the runs' readings, on its loop host's tick counter; `session` is the converter,
    // opened there on `port_name` ("COM1" unless the user named another) for each run.
    Form1(acquisition::RunPlace &place, converter::ConverterSession &session, std::string port_name,
        QWidget *parent = nullptr);
    ~Form1() override;

    MeasurementDocument &document() { return document_; }
    const MeasurementDocument &document() const { return document_; }
    graph::Surface &picture();
    // The picture on screen, for menus and shortcuts over it.
    QWidget *picture_widget() const;
    // The three text boxes of the settings.
    QList<QLineEdit *> setting_boxes() const;
    // The holes per section that グラフ would take now.
    std::int16_t holes_setting() const;
    const std::string &port_name() const { return port_name_; }
    // The standing the last 計測 had from the system.
    const acquisition::PriorityGrant &measurement_priority() const { return measurement_run_.priority(); }

    // Shows a message box in the window's style: the text, OK, no icon, under the window's title.
    // Between runs it returns once OK has been pressed. During 計測 or 実時間計測 it returns at once
    // and the box, modal to the window, stays until OK, while the readings go on.
    void show_message(const QString &text);
    // Opens the board, when the readings come from one, on the runs' thread; nothing is shown.
    void open_board_at_start();
    // True while 計測 or 実時間計測 is running.
    bool sampling() const;
    // True while 計測 records.
    bool measuring() const { return measuring_; }
    // How many readings the 計測 going on, or the last one, has taken.
    std::int32_t readings_taken() const { return readings_taken_.load(); }
    // The samples have been replaced: 最小２乗法 waits for the next グラフ, and the scale buttons are
    // disabled until then, so that nothing redraws the tables of another run.
    void measurement_replaced();
    // After a measurement was put into the document from a file: the settings show its period and
    // time (and its holes per section, when it has them), and its raw trace is drawn.
    void show_opened_measurement(
        std::int32_t period_ms, std::int32_t time_s, const std::optional<std::int32_t> &holes_per_section);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
#ifdef Q_OS_WIN
    // While a run goes on, the window is not moved or sized by its frame and its system menu does
    // not open: each would run a loop of the system's own, and the window would neither show the
    // run's progress nor hear of its end until that loop returned.
    bool nativeEvent(const QByteArray &event_type, void *message, qintptr *result) override;
#endif

private:
    // Handlers.
    void Form_Load();
    void Cmd_end_click();
    void Cmd_計測_click();
    // ボードの準備中 in the progress bar's place while a board is opened and greeted.
    void watch_board_starting();
    void show_board_starting();
    void hide_board_starting();
    void Cmd_graph_click();
    void Cmd_最小2乗法_click();
    void Cmd_realtime_click();
    void Cmd_realstop_click();
    void Cmd_tate_large_click();
    void Cmd_tate_small_click();
    void Cmd_yoko_large_click();
    void Cmd_yoko_small_click();
    void Cmd_hukugen_click();
    void HScroll1_change();
    void HScroll2_change();
    void HScroll3_change();

    void create_controls();
    void connect_controls();
    // The system's name of the converter's port, for messages.
    QString device_name();
    // Says why a run could not start.
    void show_session_fault(converter::SessionFault fault);
    // Fits a line to the velocity points on the graph, prints the initial velocity and the
    // acceleration under it and draws the fitted curves over it.
    void least_squares();
    // A value typed into Text1 or Text2 and confirmed: a whole number within the bar's range moves
    // the bar; the box then shows the bar's value in every case.
    void confirm_setting(QLineEdit *text, QScrollBar *bar);
    void set_run_buttons_enabled(bool enabled);
    void set_scale_buttons_enabled(bool enabled);
    // Draws the graph at the current zoom, and the fit over it while it is shown.
    void redraw_zoomed();
    // Multiplies a zoom factor by 2 or 1/2 and redraws.
    void change_zoom(float &factor, float by, float smallest, float largest);
    // Ends every run and waits until it has: the window is going away.
    void cancel_runs();

    // The runs (form1_runs.cpp). Calls `call` on the window's thread: at once when made there,
    // queued otherwise.
    void on_window(std::function<void()> call);
    void measurement_opened(
        const std::optional<converter::SessionFault> &fault, std::int16_t period_ms, std::int16_t time_s);
    void show_progress(std::int32_t taken);
    void measurement_ended(const acquisition::MeasurementOutcome &outcome);
    // The document takes the readings the run has taken since it last looked.
    void take_recorded_readings();
    void draw_live_readings();
    void live_ended(const acquisition::LiveOutcome &outcome);

    // Controls, by their names in the window definition.
    QPushButton *Cmd_end;
    QPushButton *Cmd_計測;
    QScrollBar *HScroll1;
    QLineEdit *Text1;
    QLabel *Label2;
    QLabel *Label3;
    PictureBox *Picture1;
    QPushButton *Cmd_graph;
    QPushButton *Cmd_最小2乗法;
    QPushButton *Cmd_realtime;
    QPushButton *Cmd_realstop;
    QPushButton *Cmd_yoko_large;
    QPushButton *Cmd_yoko_small;
    QPushButton *Cmd_tate_large;
    QPushButton *Cmd_tate_small;
    QPushButton *Cmd_hukugen;
    QScrollBar *HScroll2;
    QLineEdit *Text2;
    QLabel *Label4;
    QLineEdit *Text3;
    QLabel *Label5;
    QLabel *Label1;
    QScrollBar *HScroll3;
    // Shows how far a measurement has got; hidden otherwise.
    QProgressBar *measure_progress;
    QTimer *board_starting_ = nullptr;

    acquisition::RunPlace &place_;
    converter::ConverterSession &session_;
    std::string port_name_;
    MeasurementDocument document_;
    acquisition::MeasurementRun measurement_run_;
    acquisition::LiveRun live_run_;
    graph::LiveSweep sweep_;
    // True while 計測 records.
    bool measuring_ = false;
    // From a press of 計測 or 実時間計測 until its run has told the window how it ended.
    bool run_going_ = false;
    // 中止 was pressed during the run going.
    bool stop_pressed_ = false;

    // What the run's thread fills and the window reads, each side only as said here.
    // 計測 records into its own state; the readings before `readings_taken_` are the window's to
    // read, and it takes the whole recording once the run has ended.
    common::MeasurementState recording_;
    std::atomic<std::int32_t> readings_taken_{0};
    std::int32_t readings_copied_ = 0;
    // The live view's period, as the scroll bar sets it; its readings on their way to the sweep.
    std::atomic<std::int32_t> live_period_ms_{0};
    acquisition::ReadingQueue live_readings_;
    std::atomic<bool> live_drawing_asked_{false};
};
