// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The CSV file of a lesson. Like a measurement file: UTF-8 with a byte-order mark, commas, '.' as
// the decimal point, CR LF. It starts with its own title and the lesson's settings, then what the
// lesson window's copy gives (the table and the law), so that a spreadsheet shows the lesson table
// first; then each run as a measurement file of its own, under a row that numbers it and gives its
// group, whether it was late, its memo and its value:
//
//     計測,<number>,班,<group>,遅れ,<0|1>,メモ,<memo>,条件の値,<value>
//
// and last a line that says the lesson is complete. Files of layout 1 have no group in that row.
// The reader takes the file back as a spreadsheet saves it, as it does a measurement file.

#include "storage/lesson_record.h"
#include "storage/measurement_csv.h"

#include <QByteArray>

namespace storage {

// Thirty runs of 10001 readings come to about 6 MiB.
inline constexpr qint64 kMaxLessonBytes = 64 * 1024 * 1024;
// The most runs a lesson holds; a file with more is refused at the marker of the one past it.
inline constexpr std::size_t kMostLessonRuns = 200;

QByteArray write_lesson_csv(const LessonRecord &lesson);

struct LessonReadResult {
    std::optional<LessonRecord> lesson;
    ReadFailure failure;  // meaningful when there is no lesson; `line` counts in the lesson file
    // For each run, the lines of the rows that its settings are checked against.
    std::vector<std::int32_t> sample_rate_lines;
    std::vector<std::int32_t> last_sample_lines;
};

// True when the first field of the bytes is a lesson file's title, in UTF-8 or in the Japanese code
// page, quoted or not: the start of a file is enough.
bool is_lesson_csv(const QByteArray &bytes);
// Reads a file written by write_lesson_csv, refusing it at the first line it would not write.
LessonReadResult parse_lesson_csv(const QByteArray &bytes);

}  // namespace storage
