// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The keeper's connection to its database, closed and let go with the keeper.

#include "lesson/lesson_store.h"

#include <QSqlDatabase>

struct LessonStore::Database {
    QString connection;
    QSqlDatabase db() const { return QSqlDatabase::database(connection, false); }
    ~Database()
    {
        db().close();
        QSqlDatabase::removeDatabase(connection);
    }
};
