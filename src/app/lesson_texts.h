// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The lesson in words and figures: the table's columns and cells, the rows its copy gives a
// spreadsheet, and what the law and the keeper have to say.

#include "lesson/lesson.h"
#include "lesson/lesson_store.h"

#include <QString>
#include <QStringList>

#include <vector>

// The lesson table's columns, in order, and the place of those that can be edited.
enum LessonColumn {
    kRunColumn = 0,
    kGroupColumn,
    kMemoColumn,
    kValueColumn,
    kHolesColumn,
    kRangeColumn,
    kInitialVelocityColumn,
    kAccelerationColumn,
    kPositionAccelerationColumn,
    kErrorColumn,
    kRSquaredColumn,
    kCheckColumn,
    kLessonColumns
};
QStringList lesson_column_names();
// A run's range as 範囲(s) shows it, its ends to 0.001 s ("0.100–1.250"); empty when it has none.
QString range_text(const std::optional<common::TimeRange> &range);
// The texts of run k's cells, in the order of the columns.
QStringList lesson_cells(const Lesson &lesson, std::size_t k);
// The rows the lesson window's copy gives: the condition's name and unit, the table's header and
// rows, an empty row, and the law's rows.
std::vector<QStringList> lesson_copy_rows(const Lesson &lesson);
// Which runs the law leaves out and why, or why it has no line; empty when nothing is to be said.
QString law_note(const LessonLaw &law);
// What the keeper found, a line a note.
QString keeper_notes_text(const std::vector<KeeperNote> &notes);
