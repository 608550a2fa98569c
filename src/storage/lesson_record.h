// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The record of a lesson kept in a file: what the class changed from run to run, and every run with
// its readings, its settings, its origin, its group, its memo and its value.

#include "storage/measurement_record.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace storage {

struct LessonRunRecord {
    // The run's readings, settings and origin, and its holes per section as the run has them now,
    // whether or not グラフ ran again since they were typed.
    MeasurementRecord measurement;
    QString memo;
    std::optional<double> value;  // the condition's value in this run
    bool late = false;            // its readings did not keep their schedule
    // Whose run it is: the 班 the teacher typed, or the name of the lesson file it was pooled from;
    // empty when a file does not say.
    QString group{};
};

struct LessonRecord {
    QString program_name;
    QString program_version;
    QDateTime saved_at;
    QString condition_name;  // 台車の質量, おもりの数, ...
    QString unit;            // kg, 個, ...
    bool inverse = false;    // the lesson graph's x is 1 / the value
    bool through_origin = false;
    std::vector<LessonRunRecord> runs;
    // What a spreadsheet shows first, as the lesson window's copy has it: the table's rows and the
    // law's. Written only; the reader takes the runs' memos and values from the table's first
    // columns and works everything else out again.
    std::vector<QStringList> shown_rows;
};

}  // namespace storage
