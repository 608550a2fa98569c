// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// 授業: a window beside the main one with the lesson's condition, a table of every run with what
// グラフ and 最小２乗法 give for it, the law the runs show, and every run's velocity points on one
// graph. It does not hold the main window.

#include <QDialog>

#include <functional>

class FamilyPlot;
class LawPlot;
class LessonDesk;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QPushButton;
class QTableView;
class LessonTableModel;

class LessonView : public QDialog {
public:
    LessonView(LessonDesk &desk, QWidget *parent);

    // Shows the lesson as it stands, the current cell on the 条件の値 of the run on screen.
    void refresh();
    // What the copy button puts on the clipboard.
    QString copy_text() const;
    bool print_to(QPrinter &printer);
    // Asks for a file name; tests replace it. Empty when the user cancels.
    using AskFile = std::function<QString(QWidget *parent, const QString &title, bool saving)>;
    void set_file_asker(AskFile ask) { ask_file_ = std::move(ask); }
    // What グラフを調べる… does once the current run is on screen: opens that window.
    void set_inspector(std::function<void()> open) { open_inspector_ = std::move(open); }

    QTableView *table() const { return table_; }
    LessonTableModel *model() const { return model_; }
    QLabel *law_label() const { return law_label_; }
    QLabel *status_label() const { return status_label_; }
    QLineEdit *condition_box() const { return condition_; }
    QLineEdit *unit_box() const { return unit_; }
    QCheckBox *inverse_box() const { return inverse_; }
    QCheckBox *origin_box() const { return origin_; }
    LawPlot *law_plot() const { return law_plot_; }
    FamilyPlot *family_plot() const { return family_plot_; }
    // The law's graph as it stands, at its size on screen and at least at its smallest.
    QImage law_image() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Opens with the keys in the table, on the 条件の値 of the run on screen.
    void showEvent(QShowEvent *event) override;

private:
    void draw_graphs();
    // The current cell on the 条件の値 of the run on screen, or of the last run.
    void follow_shown_run();
    // The condition's name, unit and switches as typed, as one undoable change.
    void settings_typed();
    void copy();
    void print();
    void save();
    void open();
    void start_new();
    void remove_current();
    // Shows the current row's run in the main window and opens グラフを調べる on it.
    void inspect_current();
    void pool();

    LessonDesk &desk_;
    AskFile ask_file_;
    std::function<void()> open_inspector_;
    QLineEdit *condition_;
    QLineEdit *unit_;
    QLabel *status_label_;
    QTableView *table_;
    LessonTableModel *model_;
    QCheckBox *inverse_;
    QCheckBox *origin_;
    LawPlot *law_plot_;
    QLabel *law_label_;
    FamilyPlot *family_plot_;
};
