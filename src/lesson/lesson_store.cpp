// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lesson/lesson_store.h"

#include "lesson/kept_folders.h"
#include "lesson/lesson.h"
#include "lesson/lesson_store_database.h"
#include "lesson/lesson_store_schema.h"
#include "storage/measurement_csv.h"

#include <QDateTime>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

const QString kDatabaseName = QStringLiteral("lessons.sqlite");

QVariant value_or_null(const std::optional<double> &value)
{
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<double>());
}

// A text for a column that holds no NULL: Qt binds an empty QString that was never set as NULL.
QString text(const QString &value) { return value.isNull() ? QStringLiteral("") : value; }

QByteArray file_of(const LessonRun &run)
{
    return storage::write_measurement_csv(Lesson::record_of_run(run, QDateTime::currentDateTime()));
}

}  // namespace

LessonStore::LessonStore(Lesson &lesson, QString data_folder, QObject *parent)
    : QObject(parent), lesson_(lesson), folder_(std::move(data_folder)), path_(QDir(folder_).filePath(kDatabaseName))
{
    listen();
}

LessonStore::~LessonStore() = default;

void LessonStore::listen()
{
    // Each change of the lesson is kept by itself; after a change that could not be kept, the
    // next one writes the whole lesson.
    auto keep = [this](const std::function<bool()> &change) {
        if (quiet_ || read_only_ || !ready())
            return;
        transaction(out_of_step_ ? [this] { return write_all(); } : change);
    };
    connect(&lesson_, &Lesson::runs_added, this, [this, keep](std::size_t first, std::size_t count) {
        keep([this, first, count] {
            for (std::size_t k = first; k < first + count; ++k)
                if (!write_run(lesson_.runs()[k], k))
                    return false;
            return write_places();
        });
    });
    connect(&lesson_, &Lesson::runs_removed, this, [this, keep](const std::vector<std::uint64_t> &ids) {
        std::vector<std::int64_t> rows;
        for (const std::uint64_t id : ids) {
            if (const auto key = run_keys_.find(id); key != run_keys_.end()) {
                rows.push_back(key->second);
                run_keys_.erase(key);
            }
            file_ranges_.erase(id);
        }
        keep([this, rows] {
            QSqlQuery query(db_->db());
            query.prepare(QStringLiteral("DELETE FROM runs WHERE id = ?"));
            for (const std::int64_t row : rows) {
                query.addBindValue(static_cast<qlonglong>(row));
                if (!exec_query(query))
                    return false;
            }
            return write_places();
        });
    });
    connect(&lesson_, &Lesson::run_changed, this, [this, keep](std::size_t k) {
        keep([this, k] {
            const LessonRun &run = lesson_.runs()[k];
            const auto key = run_keys_.find(run.id);
            if (key == run_keys_.end())
                return false;
            QSqlQuery query(db_->db());
            query.prepare(
                QStringLiteral("UPDATE runs SET memo = ?, value = ?, holes = ?, late = ?, grp = ? WHERE id = ?"));
            query.addBindValue(text(run.memo));
            query.addBindValue(value_or_null(run.value));
            query.addBindValue(static_cast<int>(run.holes));
            query.addBindValue(run.late ? 1 : 0);
            query.addBindValue(text(run.group));
            query.addBindValue(static_cast<qlonglong>(key->second));
            return exec_query(query) && query.numRowsAffected() == 1 && write_range(run, key->second);
        });
    });
    connect(&lesson_, &Lesson::settings_changed, this,
        [this, keep] { keep([this] { return write_settings(lesson_.settings()); }); });
    connect(&lesson_, &Lesson::reset, this, [this, keep] { keep([this] { return write_all(); }); });
}

bool LessonStore::exec_query(QSqlQuery &query)
{
    if (query.exec())
        return true;
    last_error_ = query.lastError().text();
    return false;
}

bool LessonStore::transaction(const std::function<bool()> &change)
{
    QSqlDatabase db = db_->db();
    last_error_.clear();
    bool kept = db.transaction();
    if (kept) {
        QSqlQuery changed(db);
        changed.prepare(QStringLiteral("UPDATE lessons SET changed = (SELECT value FROM counter) WHERE id = ?"));
        changed.addBindValue(static_cast<qlonglong>(lesson_key_));
        kept
            = change() && lesson_db::exec(db, QStringLiteral("UPDATE counter SET value = value + 1")) && changed.exec();
        kept = kept ? db.commit() : (db.rollback(), false);
    }
    if (!kept) {
        out_of_step_ = true;
        failed(last_error_.isEmpty() ? db.lastError().text() : last_error_);
        return false;
    }
    out_of_step_ = false;
    failure_told_ = false;
    return true;
}

void LessonStore::failed(const QString &reason)
{
    if (failure_told_)
        return;
    failure_told_ = true;
    emit keeping_failed(storage::SaveFailure{storage::SaveProblem::Other, reason, false}, path_);
}

bool LessonStore::write_settings(const LessonSettings &settings)
{
    QSqlQuery query(db_->db());
    query.prepare(QStringLiteral(
        "UPDATE lessons SET condition_name = ?, unit = ?, inverse = ?, through_origin = ? WHERE id = ?"));
    query.addBindValue(text(settings.condition_name));
    query.addBindValue(text(settings.unit));
    query.addBindValue(settings.inverse ? 1 : 0);
    query.addBindValue(settings.through_origin ? 1 : 0);
    query.addBindValue(static_cast<qlonglong>(lesson_key_));
    return exec_query(query) && query.numRowsAffected() == 1;
}

bool LessonStore::write_run(const LessonRun &run, std::size_t place)
{
    QSqlQuery query(db_->db());
    query.prepare(QStringLiteral("INSERT INTO runs (lesson, place, memo, value, holes, late, grp, file) "
                                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    query.addBindValue(static_cast<qlonglong>(lesson_key_));
    query.addBindValue(static_cast<qlonglong>(place));
    query.addBindValue(text(run.memo));
    query.addBindValue(value_or_null(run.value));
    query.addBindValue(static_cast<int>(run.holes));
    query.addBindValue(run.late ? 1 : 0);
    query.addBindValue(text(run.group));
    query.addBindValue(file_of(run));
    if (!exec_query(query))
        return false;
    run_keys_[run.id] = query.lastInsertId().toLongLong();
    file_ranges_[run.id] = run.range;
    return true;
}

bool LessonStore::write_range(const LessonRun &run, std::int64_t row)
{
    // The range is kept in the run's file, which is written again only when the range changed:
    // the other cells' changes need not write the readings.
    if (const auto kept = file_ranges_.find(run.id); kept != file_ranges_.end() && kept->second == run.range)
        return true;
    QSqlQuery query(db_->db());
    query.prepare(QStringLiteral("UPDATE runs SET file = ? WHERE id = ?"));
    query.addBindValue(file_of(run));
    query.addBindValue(static_cast<qlonglong>(row));
    if (!exec_query(query) || query.numRowsAffected() != 1)
        return false;
    file_ranges_[run.id] = run.range;
    return true;
}

bool LessonStore::write_places()
{
    QSqlQuery query(db_->db());
    query.prepare(QStringLiteral("UPDATE runs SET place = ? WHERE id = ?"));
    for (std::size_t k = 0; k < lesson_.runs().size(); ++k) {
        const auto key = run_keys_.find(lesson_.runs()[k].id);
        if (key == run_keys_.end())
            return false;
        query.addBindValue(static_cast<qlonglong>(k));
        query.addBindValue(static_cast<qlonglong>(key->second));
        if (!exec_query(query))
            return false;
    }
    return true;
}

bool LessonStore::write_all()
{
    QSqlQuery clear(db_->db());
    clear.prepare(QStringLiteral("DELETE FROM runs WHERE lesson = ?"));
    clear.addBindValue(static_cast<qlonglong>(lesson_key_));
    if (!exec_query(clear))
        return false;
    run_keys_.clear();
    file_ranges_.clear();
    for (std::size_t k = 0; k < lesson_.runs().size(); ++k)
        if (!write_run(lesson_.runs()[k], k))
            return false;
    return write_settings(lesson_.settings());
}
