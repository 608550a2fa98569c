// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The keeper's lessons as a whole: bringing back the last one at the start, beginning a new one,
// the lock that tells another copy of the program that a lesson is in use, and the pruning.

#include "lesson/kept_folders.h"
#include "lesson/lesson.h"
#include "lesson/lesson_store.h"
#include "lesson/lesson_store_database.h"
#include "lesson/lesson_store_schema.h"
#include "storage/measurement_csv.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <atomic>

namespace {

QString lock_path(const QString &folder, std::int64_t key)
{
    return QDir(folder).filePath(QStringLiteral("lesson-%1.lock").arg(key));
}

// A lock that outlives a killed program is stale at once: the process that took it is gone. A lock
// of a living copy never goes stale, however long it is held.
std::unique_ptr<QLockFile> take_lock(const QString &folder, std::int64_t key)
{
    auto lock = std::make_unique<QLockFile>(lock_path(folder, key));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return nullptr;
    return lock;
}

}  // namespace

bool LessonStore::lock(std::int64_t key)
{
    lock_ = take_lock(folder_, key);
    return lock_ != nullptr;
}

namespace {

// Each keeper has a connection of its own: tests and the benchmark make several in one process.
QString next_connection_name()
{
    static std::atomic<int> next{1};
    return QStringLiteral("lesson-store-%1").arg(next++);
}

}  // namespace

void LessonStore::restore()
{
    notes_.clear();
    const QString connection = next_connection_name();
    const lesson_db::OpenResult opened = lesson_db::open_database(connection, path_);
    if (opened.outcome == lesson_db::Opened::Failed) {
        // The lesson goes on in memory; said once.
        QSqlDatabase::removeDatabase(connection);
        out_of_step_ = true;
        failed(opened.error);
        emit notes_changed();
        return;
    }
    db_ = std::make_unique<Database>(connection);
    if (opened.outcome == lesson_db::Opened::SetAside)
        notes_.push_back({KeeperNote::Kind::DatabaseSetAside, 0, QDir::toNativeSeparators(opened.set_aside_path)});
    else if (opened.made_new)
        import_kept_folders();

    QSqlQuery newest(db_->db());
    if (!newest.exec(QStringLiteral("SELECT id FROM lessons ORDER BY changed DESC, id DESC LIMIT 1"))
        || !newest.next()) {
        start_new();
        return;
    }
    const std::int64_t key = newest.value(0).toLongLong();
    read_only_ = !lock(key);
    lesson_key_ = key;
    if (read_only_)
        notes_.push_back({KeeperNote::Kind::ReadOnly, 0, {}});
    if (load(key))
        notes_.insert(notes_.begin(), {KeeperNote::Kind::BroughtBack, static_cast<int>(lesson_.runs().size()), {}});
    emit notes_changed();
}

bool LessonStore::load(std::int64_t key)
{
    QSqlDatabase db = db_->db();
    QSqlQuery settings(db);
    settings.prepare(QStringLiteral("SELECT condition_name, unit, inverse, through_origin FROM lessons WHERE id = ?"));
    settings.addBindValue(static_cast<qlonglong>(key));
    if (!settings.exec() || !settings.next())
        return false;
    const LessonSettings kept{settings.value(0).toString(), settings.value(1).toString(),
        settings.value(2).toInt() != 0, settings.value(3).toInt() != 0};
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "SELECT id, memo, value, holes, late, grp, file FROM runs WHERE lesson = ? AND set_aside = 0 ORDER BY place"));
    query.addBindValue(static_cast<qlonglong>(key));
    if (!query.exec())
        return false;
    std::vector<LessonRun> runs;
    std::vector<std::int64_t> keys;
    std::vector<std::int64_t> unreadable;
    for (int number = 1; query.next(); ++number) {
        const storage::ReadResult read = storage::parse_measurement_csv(query.value(6).toByteArray());
        storage::LessonRunRecord record;
        if (read.record)
            record.measurement = *read.record;
        std::optional<LessonRun> run = read.record ? Lesson::run_of_record(record) : std::nullopt;
        // A run that cannot be read back is set aside by itself; the rest of the lesson comes back.
        if (!run || query.value(3).toInt() < 1 || query.value(3).toInt() > 32767) {
            unreadable.push_back(query.value(0).toLongLong());
            notes_.push_back({KeeperNote::Kind::RunSetAside, number, {}});
            continue;
        }
        run->memo = query.value(1).toString();
        run->value = query.value(2).isNull() ? std::nullopt : std::optional<double>(query.value(2).toDouble());
        run->holes = static_cast<std::int16_t>(query.value(3).toInt());
        run->late = query.value(4).toInt() != 0;
        run->group = query.value(5).toString();
        runs.push_back(std::move(*run));
        keys.push_back(query.value(0).toLongLong());
    }
    quiet_ = true;
    lesson_.replace(kept, std::move(runs));
    quiet_ = false;
    run_keys_.clear();
    file_ranges_.clear();
    for (std::size_t k = 0; k < keys.size(); ++k) {
        run_keys_[lesson_.runs()[k].id] = keys[k];
        file_ranges_[lesson_.runs()[k].id] = lesson_.runs()[k].range;
    }
    if (!read_only_ && !unreadable.empty()) {
        transaction([this, &unreadable] {
            QSqlQuery aside(db_->db());
            aside.prepare(QStringLiteral("UPDATE runs SET set_aside = 1 WHERE id = ?"));
            for (const std::int64_t row : unreadable) {
                aside.addBindValue(static_cast<qlonglong>(row));
                if (!aside.exec())
                    return false;
            }
            return write_places();
        });
    }
    return true;
}

std::int64_t LessonStore::new_lesson()
{
    QSqlQuery query(db_->db());
    if (!query.exec(QStringLiteral("INSERT INTO lessons (changed) SELECT value FROM counter"))) {
        failed(query.lastError().text());
        return 0;
    }
    const std::int64_t key = query.lastInsertId().toLongLong();
    lock(key);
    return key;
}

void LessonStore::start_new()
{
    lock_.reset();
    read_only_ = false;
    run_keys_.clear();
    file_ranges_.clear();
    quiet_ = true;
    lesson_.clear();
    quiet_ = false;
    notes_.erase(std::remove_if(notes_.begin(), notes_.end(),
                     [](const KeeperNote &note) { return note.kind != KeeperNote::Kind::DatabaseSetAside; }),
        notes_.end());
    lesson_key_ = 0;
    if (ready()) {
        lesson_key_ = new_lesson();
        if (lesson_key_ != 0)
            transaction([this] { return write_settings(lesson_.settings()); });
        prune();
    }
    emit notes_changed();
}

void LessonStore::make_writable()
{
    if (!read_only_)
        return;
    start_new();
}

void LessonStore::prune()
{
    QSqlQuery query(db_->db());
    if (!query.exec(QStringLiteral("SELECT id FROM lessons ORDER BY changed DESC, id DESC")))
        return;
    std::vector<std::int64_t> old;
    for (int n = 0; query.next(); ++n)
        if (n >= kLessonsKept && query.value(0).toLongLong() != lesson_key_)
            old.push_back(query.value(0).toLongLong());
    for (const std::int64_t key : old) {
        // A lesson another copy has open stays, however old.
        const std::unique_ptr<QLockFile> held = take_lock(folder_, key);
        if (!held)
            continue;
        QSqlQuery remove(db_->db());
        remove.prepare(QStringLiteral("DELETE FROM lessons WHERE id = ?"));
        remove.addBindValue(static_cast<qlonglong>(key));
        remove.exec();
    }
}

void LessonStore::import_kept_folders()
{
    for (const QString &folder : kept_lesson_folders(folder_)) {
        const std::optional<storage::LessonRecord> record = read_kept_lesson(folder);
        if (!record)
            continue;
        const std::optional<std::vector<LessonRun>> runs = Lesson::runs_of_record(*record);
        if (!runs)
            continue;
        // Written as any new lesson is, through the lesson itself; restore() then takes the newest.
        lesson_key_ = new_lesson();
        lock_.reset();
        if (lesson_key_ == 0)
            return;
        quiet_ = true;
        lesson_.replace(Lesson::settings_of_record(*record), *runs);
        quiet_ = false;
        transaction([this] { return write_all(); });
    }
    lesson_key_ = 0;
}
