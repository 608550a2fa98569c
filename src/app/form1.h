// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The one window of the program, with its controls, the measurement state it owns and the
// handlers of every user action. Each handler runs to its end on the window's thread; the sampling
// loops of 計測 and 実時間計測 let the window handle its events between readings, so other
// handlers may run nested inside them.

#include "analysis/strip_check.h"
#include "common/measurement_state.h"
#include "common/ticks.h"

#include <QIcon>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QScrollBar;
class PictureBox;

namespace acquisition {
class LoopHost;
struct ScheduleRecord;
}  // namespace acquisition
namespace graph {
class Surface;
}

// The program's icon: a green cart above a strip with holes, on a yellow ground.
QIcon program_icon();

class Form1 : public QWidget {
public:
    // `host` supplies the tick counter and the event pump of the sampling loops; `port_name` is
    // the port the converter is on ("COM1" unless the user named another).
    Form1(acquisition::LoopHost &host, std::string port_name, QWidget *parent = nullptr);
    ~Form1() override;

    // The record every handler shares.
    common::MeasurementState state;
    // What the strip check of the last グラフ found, kept while its graph belongs to the measurement:
    // none before グラフ, after a new 計測 or an opened file, nor for a graph drawn while 計測 records.
    std::optional<analysis::StripAnalysis> strip_analysis;

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

    // Handlers.
    void Form_Load();
    void Cmd_end_click();
    void Cmd_計測_click();
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

    // Waits for an absolute tick deadline while the window keeps handling its events.
    void WaitTill(const common::Tick &Next_time);
    // Fits a line to the velocity points on the graph, prints the initial velocity and the
    // acceleration under it and draws the fitted curves over it.
    void least_squares();

    graph::Surface &picture();
    const std::string &port_name() const { return port_name_; }

    // Shows a message box in the window's style: the text, OK, no icon, under the window's title.
    // Between runs it returns once OK has been pressed. During 計測 or 実時間計測 it returns at once
    // and the box, modal to the window, stays until OK, while the readings go on.
    void show_message(const QString &text);
    // True while 計測 or 実時間計測 is running.
    bool sampling() const;
    // True while 計測 records.
    bool measuring() const { return measuring_; }
    // Called when 計測 starts to record, once the last measurement has been cleared.
    std::function<void()> measurement_started;
    // The samples have been replaced (a new measurement, or one read from a file): the graph and
    // the fit on screen no longer belong to them. 最小２乗法 waits for the next グラフ, and the
    // scale buttons are disabled until then, so that nothing redraws the tables of another run.
    void measurement_replaced();
    // Called whenever the results of the graph may have changed: after グラフ, 最小２乗法, a zoom,
    // 元のグラフ and a replaced measurement.
    std::function<void()> graph_changed;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
#ifdef Q_OS_WIN
    // While a sampling loop runs, the window is not moved or sized by its frame and its system menu
    // does not open: each would run a loop of the system's own that holds up the readings.
    bool nativeEvent(const QByteArray &event_type, void *message, qintptr *result) override;
#endif

private:
    void create_controls();
    void show_port_failure();
    // The system's name of the converter's port, for messages.
    QString device_name() const;
    // Opens the port and prepares the converter. On a port that cannot be opened, lines that fail
    // or a converter that does not answer, closes the port, says so and returns false.
    bool prepare_converter();
    // False once a line operation has failed since the port was opened.
    static bool lines_in_order();
    // A value typed into Text1 or Text2 and confirmed: a whole number within the bar's range moves
    // the bar; the box then shows the bar's value in every case.
    void confirm_setting(QLineEdit *text, QScrollBar *bar);
    void set_run_buttons_enabled(bool enabled);
    void set_scale_buttons_enabled(bool enabled);
    // Appends how the last recording kept its schedule to the file UNDOU_SCHEDULE_LOG names.
    void report_schedule(const acquisition::ScheduleRecord &schedule) const;
    // Draws the graph at the current zoom, and the fit over it while it is shown.
    void redraw_zoomed();
    // Checks the strip of the graph just analysed; during 計測 the check waits for the whole run.
    void check_strip();
    void announce_graph_change();
    // Multiplies a zoom factor by 2 or 1/2 and redraws.
    void change_zoom(float &factor, float by, float smallest, float largest);
    // After a sampling loop ended because the window is going away: closes the port once the
    // last loop has unwound.
    void finish_cancelled_loop();
    // Ends the program from the window's own exit button.
    void end_program();

    acquisition::LoopHost &host_;
    std::string port_name_;
    // True while 計測 records.
    bool measuring_ = false;
};
