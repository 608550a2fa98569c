// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The lesson database's own shape: opening it in WAL mode, telling ours from a file that is not,
// is newer or is damaged, setting such a file aside, and making the tables of a new one.

#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace lesson_db {

// The number SQLite keeps in the file's header for this program's databases ("UKLS").
inline constexpr int kApplicationId = 0x554B4C53;
// The layout of the tables; a database of a higher one was written by a newer program.
inline constexpr int kLayout = 1;

enum class Opened {
    Ready,     // ours, or new and made ours
    SetAside,  // not ours, newer or damaged: moved aside, and a new one made in its place
    Failed,    // cannot be opened or made (the folder read-only, the disk full)
};

struct OpenResult {
    Opened outcome = Opened::Failed;
    QString set_aside_path;  // where a database that was not usable now is
    QString error;           // the system's words when it failed
    bool made_new = false;   // the database did not exist (or was set aside) and was made now
};

// Opens `path` as connection `connection` (made here), in WAL mode with full syncing and a wait for
// another copy's writes.
OpenResult open_database(const QString &connection, const QString &path);

// Runs one statement; false when SQLite refused it.
bool exec(QSqlDatabase &db, const QString &statement);

}  // namespace lesson_db
