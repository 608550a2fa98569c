// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Keeps the lesson as it changes in one SQLite database in the data folder, one transaction a
// change, so that a crash, a killed program or a power cut loses at most the edit being typed.
// Which lesson is newest is a counter kept in the database, never the clock; the last kLessonsKept
// lessons are kept. A lesson in use by another copy of the program is opened read-only, and the
// runs this copy adds go into a lesson of its own.

#include "common/time_range.h"
#include "storage/file_io.h"

#include <QLockFile>
#include <QObject>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class Lesson;
class QSqlQuery;
struct LessonRun;
struct LessonSettings;

// What the keeper found at the start or since, for the lesson window's line under its condition.
struct KeeperNote {
    enum class Kind {
        BroughtBack,       // `count` runs of the last lesson came back
        ReadOnly,          // another copy of the program has the lesson: shown, not changed
        DatabaseSetAside,  // the database was not usable; it is at `path`, and a new one began
        RunSetAside,       // run `count` (from 1) could not be read back and was set aside
    };
    Kind kind = Kind::BroughtBack;
    int count = 0;
    QString path;
    bool operator==(const KeeperNote &) const = default;
};

class LessonStore : public QObject {
    Q_OBJECT
public:
    static constexpr int kLessonsKept = 20;

    // Keeps `lesson` in the database under `data_folder` (made when missing).
    LessonStore(Lesson &lesson, QString data_folder, QObject *parent = nullptr);
    ~LessonStore() override;

    // At the start: takes the lesson last changed into `lesson` (read-only when another copy has
    // it), or starts a new one when there is none. Lessons kept in folders by earlier versions are
    // read in once, at the database's first start.
    void restore();
    // 新しい授業: an empty lesson of its own; the earlier one stays.
    void start_new();
    // Before a run joins: a read-only lesson gives way to a new one of this copy's own.
    void make_writable();
    bool read_only() const { return read_only_; }

    const std::vector<KeeperNote> &notes() const { return notes_; }
    QString database_path() const { return path_; }
    // The lesson's key in the database; 0 while it is kept in memory only.
    std::int64_t lesson_key() const { return lesson_key_; }

signals:
    // Keeping failed; said once until it works again.
    void keeping_failed(const storage::SaveFailure &failure, const QString &where);
    // The notes changed.
    void notes_changed();

private:
    struct Database;
    bool ready() const { return db_ != nullptr; }
    bool load(std::int64_t key);
    bool lock(std::int64_t key);
    std::int64_t new_lesson();
    void prune();
    void import_kept_folders();
    void listen();
    // Runs `change` in one transaction with the counter; tells a failure once.
    bool transaction(const std::function<bool()> &change);
    // Runs a query, keeping SQLite's words when it refuses.
    bool exec_query(QSqlQuery &query);
    bool write_settings(const LessonSettings &settings);
    bool write_run(const LessonRun &run, std::size_t place);
    // Writes the run's file again when its range is not the one its file keeps.
    bool write_range(const LessonRun &run, std::int64_t row);
    bool write_places();
    bool write_all();
    void failed(const QString &reason);

    Lesson &lesson_;
    QString folder_;
    QString path_;
    std::unique_ptr<Database> db_;
    std::unique_ptr<QLockFile> lock_;
    std::int64_t lesson_key_ = 0;
    std::map<std::uint64_t, std::int64_t> run_keys_;  // run id → its row
    // run id → the range its kept file holds
    std::map<std::uint64_t, std::optional<common::TimeRange>> file_ranges_;
    bool read_only_ = false;
    bool quiet_ = false;        // the lesson changes because of the keeper itself
    bool out_of_step_ = false;  // a change was not kept: the next one writes the whole lesson
    bool failure_told_ = false;
    std::vector<KeeperNote> notes_;
    QString last_error_;  // SQLite's words for the last refusal
};
