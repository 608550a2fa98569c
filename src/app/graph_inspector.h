// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// グラフを調べる: a window beside the main one where the student questions the run on screen. The
// mouse or Left/Right examines a point; a drag, Shift+Left/Right or 開始(s) and 終了(s) choose a
// range, over which the line, the position fit, the area under the line and the rise of x–t are
// given; 接線の時刻(s) or a click on x–t with T held draws the tangent. Ctrl+drag pans, the wheel
// zooms, Ctrl+0 shows the whole run again. It works out the run's sections itself, whether or not
// グラフ was pressed, and follows the run on screen. The range chosen becomes the run's. A second
// tab, テープ, lays the run out as the pieces of a ticker tape.

#include "analysis/analysed_run.h"
#include "inspector_plot.h"
#include "inspector_texts.h"

#include <QWidget>

#include <functional>
#include <optional>

class MeasurementDocument;
class QLabel;
class QTabWidget;
class TapePage;
class QLineEdit;
class QPrinter;

class GraphInspector : public QWidget {
    Q_OBJECT

public:
    // Shows `document`'s run, with the holes per section that グラフ would take now when グラフ has
    // not run on it, and nothing while `measuring` says 計測 records; beside `parent`.
    GraphInspector(MeasurementDocument &document, std::function<std::int16_t()> holes_setting,
        std::function<bool()> measuring, QWidget *parent);

    // Works the run out again when its readings or holes changed, and shows it.
    void refresh();
    // What Ctrl+C puts on the clipboard; empty without a range.
    QString copy_text() const;
    bool save_picture_to(const QString &path);
    void print_to(QPrinter &printer);
    // Chooses a range as a drag ending there would.
    void choose_range(const common::TimeRange &range);

    InspectorPlot *plot() const { return plot_; }
    QLineEdit *start_box() const { return start_; }
    QLineEdit *end_box() const { return end_; }
    QLineEdit *tangent_box() const { return tangent_box_; }
    QLabel *examined_label() const { return examined_; }
    QLabel *results_label() const { return results_; }
    QLabel *message_label() const { return message_; }
    QTabWidget *tabs() const { return tabs_; }
    TapePage *tape_page() const { return tape_; }
    using AskPath = std::function<QString(QWidget *parent)>;
    void set_picture_asker(AskPath ask) { ask_picture_ = std::move(ask); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void show_inspection();
    void apply_typed_range();
    void apply_typed_tangent();
    void examine(InspectorPlot::Plot plot, std::int32_t index);
    void step(int by, bool extend);
    void drag_changed(const QRect &rect, bool finished);
    std::int32_t points(InspectorPlot::Plot plot) const;
    double point_time(InspectorPlot::Plot plot, std::int32_t index) const;
    std::int32_t nearest(InspectorPlot::Plot plot, double time) const;
    void copy();
    void print();
    void save_picture();
    std::optional<common::TimeRange> span() const;
    // The tab テープ follows the run and its range while it is shown, and catches up when it is.
    void update_tape();

    MeasurementDocument &document_;
    std::function<std::int16_t()> holes_setting_;
    std::function<bool()> measuring_;
    AskPath ask_picture_;
    analysis::AnalysedRun run_;
    std::optional<InspectedRange> inspected_;
    std::optional<common::TimeRange> dragged_;  // a range being dragged, not yet the run's
    std::optional<double> tangent_time_;
    InspectorPlot::Plot examined_plot_ = InspectorPlot::Plot::Velocity;
    std::optional<std::int32_t> examined_index_;
    std::optional<std::int32_t> anchor_;  // where Shift+Left/Right began
    bool t_held_ = false;
    bool placed_ = false;
    bool tape_stale_ = true;

    InspectorPlot *plot_;
    QLineEdit *start_;
    QLineEdit *end_;
    QLineEdit *tangent_box_;
    QLabel *examined_;
    QLabel *results_;
    QLabel *message_;
    QTabWidget *tabs_;
    TapePage *tape_;
};
