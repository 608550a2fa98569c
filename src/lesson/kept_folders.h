// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Lessons kept by earlier versions of the program, a folder each under the data folder's lessons/:
// an index (lesson.csv: the settings, and each run's memo, value and file) and a measurement file
// for each run. They are read once into the database, and the folders are left as they are.

#include "storage/lesson_record.h"

#include <QString>
#include <QStringList>

#include <optional>

// The folders of kept lessons under `data_folder`, oldest first; none set aside as unreadable.
QStringList kept_lesson_folders(const QString &data_folder);

// The lesson kept in `folder`, or nothing when its index or a run's file cannot be read.
std::optional<storage::LessonRecord> read_kept_lesson(const QString &folder);
