// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Keeps the lesson on disk as it goes, so that a crash, a killed program or a power cut loses at
// most the edit being typed. Each lesson is a folder of the data folder: a short index (the
// settings, and each run's memo, value and file) rewritten at every change, and one measurement
// file for each run, written once when the run comes. The last kLessonsKept lessons are kept.

#include <QObject>
#include <QString>

#include <cstdint>
#include <map>

class Lesson;

class LessonKeeper : public QObject {
    Q_OBJECT
public:
    static constexpr int kLessonsKept = 20;

    // Keeps `lesson` under `data_folder` (made when missing).
    LessonKeeper(Lesson &lesson, QString data_folder, QObject *parent = nullptr);

    // At the start: takes the newest kept lesson into the lesson, or, when there is none, starts a
    // new one. A kept lesson that cannot be read is set aside under another name, never deleted,
    // and a new lesson starts. `status()` then says what happened.
    void restore();
    // 新しい授業: an empty lesson in a folder of its own; the earlier one stays.
    void start_new();
    // Writes what changed since the last time: the index, and the files of runs not yet written.
    // False when it could not (the folder read-only, the disk full).
    bool keep();

    QString status() const { return status_; }
    QString folder() const { return folder_; }

signals:
    // Keeping failed; said once until it works again.
    void keeping_failed(const QString &message);

private:
    void open_new_folder();
    void prune();
    bool restore_from(const QString &folder);

    Lesson &lesson_;
    QString root_;
    QString folder_;                              // the lesson's own folder
    std::map<std::uint64_t, QString> run_files_;  // run id → its file, once written
    std::uint32_t next_file_ = 1;
    bool failure_told_ = false;
    bool restoring_ = false;
    QString status_;
};
