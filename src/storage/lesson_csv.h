// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The CSV file of a lesson. Like a measurement file: UTF-8 with a byte-order mark, commas, '.' as
// the decimal point, CR LF. It starts with its own title and the lesson's settings, then what the
// lesson window's copy gives (the table and the law), so that a spreadsheet shows the lesson table
// first; then each run as a measurement file of its own, under a row that numbers it; and last a
// line that says the lesson is complete.

#include "storage/lesson_record.h"
#include "storage/measurement_csv.h"

#include <QByteArray>

namespace storage {

// Thirty runs of 10001 readings come to about 6 MiB.
inline constexpr qint64 kMaxLessonBytes = 64 * 1024 * 1024;
inline constexpr std::size_t kMostLessonRuns = 200;

QByteArray write_lesson_csv(const LessonRecord &lesson);

struct LessonReadResult {
    std::optional<LessonRecord> lesson;
    ReadFailure failure;  // meaningful when there is no lesson; `line` counts in the lesson file
    // For each run, the lines of the rows that its settings are checked against.
    std::vector<std::int32_t> sample_rate_lines;
    std::vector<std::int32_t> last_sample_lines;
};

// True when the bytes start as a lesson file does.
bool is_lesson_csv(const QByteArray &bytes);
// Reads a file written by write_lesson_csv, refusing it at the first line it would not write.
LessonReadResult parse_lesson_csv(const QByteArray &bytes);

}  // namespace storage
