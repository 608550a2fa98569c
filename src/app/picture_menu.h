// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The context menu of the picture, and the window-wide shortcuts of its items: copy the picture,
// save it as PNG, save the measurement as CSV, open a saved measurement, print the picture, and
// show the results of the graph in a view beside the window. The
// window shows nothing new: the menu appears on the right mouse button, or on the menu key or
// Shift+F10 while the picture has the focus. A file dropped on the window is opened, as is one
// given on the command line.

#include "converter/simulated_cart.h"
#include "graph_inspector.h"
#include "lesson_view.h"
#include "measurement_document.h"
#include "results_view.h"
#include "saved_measurement.h"

#include <QKeySequence>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class Form1;
class LessonDesk;
class QAction;
class QMenu;
class QPoint;
class QPrinter;
class QWidget;

class PictureMenu : public QObject {
    Q_OBJECT
public:
    // Adds the items to `form` and watches its picture; lives no longer than the window.
    explicit PictureMenu(Form1 &form);
    ~PictureMenu() override;

    // Where the program's own readings come from, for the header of a saved file. Without a call:
    // the window's port. A measurement opened from a file keeps the source and the time of
    // measuring that the file gives.
    void set_simulated_source(const converter::CartMotion &cart);
    // Where each measurement comes from, asked when it starts: a board says its port, firmware
    // and clock then.
    void set_source(std::function<QStringList()> source) { source_ = std::move(source); }

    // Asks for a file name; returns an empty text when the user cancels. Tests replace it.
    struct FileQuestion {
        QString title;
        QString suggested_path;
        QString name_filter;
        bool saving = false;
    };
    using AskFile = std::function<QString(QWidget *parent, const FileQuestion &question)>;
    void set_file_asker(AskFile ask) { ask_file_ = std::move(ask); }

    QMenu *menu() const { return menu_; }
    QAction *copy_image_action() const { return copy_image_; }
    QAction *save_image_action() const { return save_image_; }
    QAction *save_data_action() const { return save_data_; }
    QAction *open_data_action() const { return open_data_; }
    QAction *print_action() const { return print_; }
    QAction *results_action() const { return results_; }
    QAction *lesson_action() const { return lesson_; }
    QAction *inspector_action() const { return inspector_; }
    // The lesson the menu's 授業… shows, and that each measurement joins; none without a call.
    void set_lesson_desk(LessonDesk *desk) { lesson_desk_ = desk; }
    // The lesson window, once it has been opened.
    LessonView *lesson_view() const { return lesson_view_; }
    // The results view, once it has been opened.
    ResultsView *results_view() const { return results_view_; }
    // グラフを調べる, once it has been opened.
    GraphInspector *inspector() const { return inspector_view_; }

    // Enables each item that has something to act on, as the menu shows them.
    void update_actions();
    // Opens the menu with its top-left corner at a screen position.
    void show_menu(const QPoint &global_position);

    // The commands behind the items, for a path chosen already. Each tells the user of a failure
    // and returns whether it succeeded.
    void copy_image();
    bool save_image_to(const QString &path);
    bool save_data_to(const QString &path);
    bool open_file(const QString &path);
    bool print_to(QPrinter &printer);
    // Opens the results view, or brings it to the front; nothing until グラフ has run on the
    // measurement, nor while 計測 records.
    void show_results();
    // Opens the lesson window, or brings it to the front.
    void show_lesson();
    // Opens グラフを調べる on the run on screen, or brings it to the front; nothing while 計測
    // records.
    void show_inspector();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool picture_has_content();
    bool data_to_save() const;
    bool can_open() const;
    // False while 計測 records: no dialog is opened then.
    bool can_ask() const;
    bool can_show_results() const;
    QString suggested_path(const QString &suffix) const;
    QString ask(const FileQuestion &question);
    void save_image();
    void save_data();
    void open_data();
    void print();
    QAction *add_item(const QString &text, const QKeySequence &shortcut, void (PictureMenu::*command)());

    Form1 &form_;
    MeasurementDocument &document_;
    // The watched objects, compared before the window is looked into: events still arrive while
    // the window is being taken apart.
    QObject *picture_;
    QObject *window_;
    std::vector<QObject *> text_boxes_;
    QStringList program_source_;
    std::function<QStringList()> source_;
    QString last_folder_;
    AskFile ask_file_;
    QMenu *menu_;
    QAction *copy_image_;
    QAction *save_image_;
    QAction *save_data_;
    QAction *open_data_;
    QAction *print_;
    QAction *results_;
    QAction *lesson_;
    QAction *inspector_;
    QPointer<ResultsView> results_view_;
    QPointer<GraphInspector> inspector_view_;
    LessonDesk *lesson_desk_ = nullptr;
    QPointer<LessonView> lesson_view_;
};
