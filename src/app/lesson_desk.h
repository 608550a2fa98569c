// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Between the window and the lesson: each 計測 that ends with readings and each measurement file
// opened becomes a run of the lesson, a グラフ of the run on screen sets its holes per section, and
// a run chosen in the lesson is shown in the window as an opened file would be.

#include <QObject>
#include <QString>

#include <cstddef>

class Form1;
class Lesson;
class LessonKeeper;

class LessonDesk : public QObject {
    Q_OBJECT
public:
    LessonDesk(Form1 &form, Lesson &lesson, LessonKeeper &keeper, QObject *parent = nullptr);

    Lesson &lesson() { return lesson_; }
    LessonKeeper &keeper() { return keeper_; }
    Form1 &form() { return form_; }

    // Shows run k in the window: its settings, its raw trace and its origin.
    void show_run(std::size_t k);
    // Reads a lesson file and makes it the lesson, showing its last run; says why not and changes
    // nothing when the file is refused.
    bool open_lesson(const QString &path);
    bool save_lesson(const QString &path);

private:
    void add_measurement(bool late, bool from_file);

    Form1 &form_;
    Lesson &lesson_;
    LessonKeeper &keeper_;
};
