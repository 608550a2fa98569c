// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Between the window and the lesson: each 計測 that ends with readings and each measurement file
// opened becomes a run of the lesson (a file's with its range), a グラフ of the run on screen sets
// its holes per section, a range chosen in the window is the range of the run on screen and the
// other way round, and a run chosen in the lesson is shown in the window as an opened file would be.
// The lesson's edits go onto one undo stack.

#include "lesson/lesson.h"

#include <QObject>
#include <QString>
#include <QUndoStack>

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

class Form1;
class LessonStore;

class LessonDesk : public QObject {
    Q_OBJECT
public:
    LessonDesk(Form1 &form, Lesson &lesson, LessonStore &keeper, QObject *parent = nullptr);

    Lesson &lesson() { return lesson_; }
    LessonStore &keeper() { return keeper_; }
    Form1 &form() { return form_; }
    QUndoStack &undo_stack() { return undo_; }
    // The lesson is another copy's: shown, not changed.
    bool read_only() const;

    // Shows run k in the window: its settings, its raw trace, its origin and its range.
    void show_run(std::size_t k);
    // Reads a lesson file and makes it the lesson, showing its last run; says why not and changes
    // nothing when the file is refused.
    bool open_lesson(const QString &path);
    bool save_lesson(const QString &path);
    // 授業に加える…: adds the runs of another group's lesson file that the lesson does not hold yet,
    // each with its 班 (the file's name where it has none); says why not and changes nothing when
    // the file is refused or the lesson would be too large.
    bool pool_lesson(const QString &path);
    // 新しい授業.
    void start_new();

private:
    void add_measurement(bool late, bool from_file);
    // Reads a lesson file, saying why not.
    std::optional<std::pair<LessonSettings, std::vector<LessonRun>>> read_lesson(const QString &path);

    Form1 &form_;
    Lesson &lesson_;
    LessonStore &keeper_;
    QUndoStack undo_;
};
