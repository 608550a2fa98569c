// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lesson/lesson_store_schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace lesson_db {
namespace {

const QString kSetAside = QStringLiteral(".読めない");

// The first value of a statement's first row, or nothing when it fails.
std::optional<QVariant> value_of(QSqlDatabase &db, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement) || !query.next())
        return std::nullopt;
    return query.value(0);
}

bool make_tables(QSqlDatabase &db)
{
    // Lessons and their runs, and the counter that says which change came last: never the clock,
    // which a school PC may have set back.
    const char *const statements[] = {
        "CREATE TABLE IF NOT EXISTS counter (value INTEGER NOT NULL)",
        "INSERT INTO counter (value) SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM counter)",
        "CREATE TABLE IF NOT EXISTS lessons (id INTEGER PRIMARY KEY, changed INTEGER NOT NULL, "
        "condition_name TEXT NOT NULL DEFAULT '', unit TEXT NOT NULL DEFAULT '', inverse INTEGER NOT NULL DEFAULT 0, "
        "through_origin INTEGER NOT NULL DEFAULT 0)",
        "CREATE TABLE IF NOT EXISTS runs (id INTEGER PRIMARY KEY, lesson INTEGER NOT NULL REFERENCES lessons(id) "
        "ON DELETE CASCADE, place INTEGER NOT NULL, memo TEXT NOT NULL DEFAULT '', value REAL, "
        "holes INTEGER NOT NULL, late INTEGER NOT NULL DEFAULT 0, grp TEXT NOT NULL DEFAULT '', "
        "set_aside INTEGER NOT NULL DEFAULT 0, file BLOB NOT NULL)",
        "CREATE INDEX IF NOT EXISTS runs_of_lesson ON runs (lesson, place)",
    };
    for (const char *statement : statements)
        if (!exec(db, QString::fromLatin1(statement)))
            return false;
    return exec(db, QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId))
        && exec(db, QStringLiteral("PRAGMA user_version = %1").arg(kLayout));
}

// Whether the open database is ours, of a layout this program reads, and whole. A new, empty file
// counts as ours.
bool usable(QSqlDatabase &db, bool &empty)
{
    const std::optional<QVariant> id = value_of(db, QStringLiteral("PRAGMA application_id"));
    const std::optional<QVariant> layout = value_of(db, QStringLiteral("PRAGMA user_version"));
    const std::optional<QVariant> tables = value_of(db, QStringLiteral("SELECT count(*) FROM sqlite_master"));
    if (!id || !layout || !tables)
        return false;
    empty = tables->toInt() == 0 && id->toInt() == 0;
    if (empty)
        return true;
    if (id->toInt() != kApplicationId || layout->toInt() < 1 || layout->toInt() > kLayout)
        return false;
    const std::optional<QVariant> check = value_of(db, QStringLiteral("PRAGMA quick_check"));
    return check && check->toString() == QStringLiteral("ok");
}

// Moves the database and its journal files aside under a name of their own; never deletes them.
QString set_aside(const QString &path)
{
    QString aside = path + kSetAside;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path + kSetAside + QString::number(n);
    for (const QString &suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")})
        if (QFileInfo::exists(path + suffix))
            QFile::rename(path + suffix, aside + suffix);
    QFile::rename(path, aside);
    return aside;
}

bool open_with_settings(QSqlDatabase &db)
{
    // Another copy of the program may be writing: wait for it rather than fail.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open())
        return false;
    // WAL: a change is whole or absent after a crash; FULL: and on the disk once it is committed.
    const std::optional<QVariant> mode = value_of(db, QStringLiteral("PRAGMA journal_mode = WAL"));
    return mode && exec(db, QStringLiteral("PRAGMA synchronous = FULL"))
        && exec(db, QStringLiteral("PRAGMA foreign_keys = ON"));
}

}  // namespace

bool exec(QSqlDatabase &db, const QString &statement)
{
    QSqlQuery query(db);
    return query.exec(statement);
}

OpenResult open_database(const QString &connection, const QString &path)
{
    OpenResult result;
    QDir().mkpath(QFileInfo(path).absolutePath());
    const bool existed = QFileInfo::exists(path);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(path);
    bool empty = false;
    const bool opened = open_with_settings(db);
    if (opened && usable(db, empty)) {
        result.made_new = empty;
        if (!make_tables(db)) {
            result.error = db.lastError().text();
            db.close();
            return result;
        }
        result.outcome = Opened::Ready;
        return result;
    }
    if (!existed || !QFileInfo::exists(path)) {
        result.error = db.lastError().text();
        db.close();
        return result;
    }
    db.close();
    result.set_aside_path = set_aside(path);
    if (QFileInfo::exists(path)) {
        result.error = db.lastError().text();
        return result;
    }
    if (!open_with_settings(db) || !make_tables(db)) {
        result.error = db.lastError().text();
        db.close();
        return result;
    }
    result.outcome = Opened::SetAside;
    result.made_new = true;
    return result;
}

}  // namespace lesson_db
