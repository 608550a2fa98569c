// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A lesson: every run the class made, the value it changed in each, and the law the runs show.
// Each run keeps its recording, its origin, its memo, its value and its holes per section; what
// グラフ and 最小２乗法 give for it at the first scale is worked out when asked, and kept until the
// run's holes change.

#include "analysis/least_squares.h"
#include "analysis/lesson_fit.h"
#include "analysis/position_fit.h"
#include "common/measurement_state.h"
#include "saved_measurement.h"
#include "storage/lesson_record.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

struct LessonRun {
    common::Recording recording;
    MeasurementOrigin origin;
    QString memo;
    std::optional<double> value;
    std::int16_t holes = 1;
    bool late = false;  // its readings did not keep their schedule
    // Stays with the run for its whole life, whatever its place in the table.
    std::uint64_t id = 0;
};

// What グラフ then 最小２乗法 give for a run at the first scale.
struct LessonRow {
    std::optional<analysis::LineFit> line;
    std::optional<analysis::PositionFit> position_fit;
    QString check;  // what the strip check found, and whether the readings came late
    // The velocity points of the first drawing, for the graph of every run.
    std::vector<float> times;
    std::vector<float> velocities;
};

// The law: the line through the runs, and which runs it leaves out.
struct LessonLaw {
    std::vector<analysis::LessonPoint> points;
    std::vector<std::size_t> runs;  // the run of each point
    std::optional<analysis::LessonLine> line;
    QString note;  // which runs are left out and why, or why there is no line
};

// A value typed into 条件の値: a number with the decimal point, in ASCII or in the full-width forms
// a Japanese keyboard gives; nothing for anything else. An empty text is no value.
std::optional<double> parse_condition_value(const QString &text);

class Lesson : public QObject {
    Q_OBJECT
public:
    explicit Lesson(QObject *parent = nullptr);

    const std::vector<LessonRun> &runs() const { return runs_; }
    const LessonRow &row(std::size_t k) const;
    QString condition_name() const { return condition_name_; }
    QString unit() const { return unit_; }
    bool inverse() const { return inverse_; }
    bool through_origin() const { return through_origin_; }
    LessonLaw law() const;

    // The run with these very readings and settings, if the lesson holds it.
    std::optional<std::size_t> find(const common::Recording &recording) const;
    // Appends a run; returns its place.
    std::size_t add(LessonRun run);
    // Takes run k out; undo() brings back the last one taken out, at its place.
    void remove(std::size_t k);
    bool undo();
    bool can_undo() const { return !removed_.empty(); }

    void set_memo(std::size_t k, const QString &memo);
    void set_value(std::size_t k, const std::optional<double> &value);
    void set_holes(std::size_t k, std::int16_t holes);
    void set_condition(const QString &name, const QString &unit);
    void set_inverse(bool inverse);
    void set_through_origin(bool through_origin);

    // The run on screen in the main window, if it is one of the lesson's.
    std::optional<std::size_t> shown() const { return shown_; }
    void set_shown(std::optional<std::size_t> k) { shown_ = k; }

    // A new, empty lesson.
    void clear();

    // The rows the lesson window's copy gives: the condition's name and unit, the table's header and
    // rows, an empty row, and the law's rows.
    std::vector<QStringList> copy_rows() const;
    static QStringList column_names();
    // The texts of run k's cells, in the order of column_names().
    QStringList cells(std::size_t k) const;

    storage::LessonRecord to_record(const QDateTime &saved_at) const;
    // Becomes the lesson of the record; false, and nothing changes, when a run refuses its own
    // settings (`failed_run` then says which, from 0).
    bool load(const storage::LessonRecord &record, std::size_t *failed_run = nullptr);
    // The record of run k as a measurement file keeps it.
    storage::MeasurementRecord measurement_record(std::size_t k, const QDateTime &saved_at) const;

signals:
    // Anything about the lesson changed.
    void changed();

private:
    void touched(std::size_t k);

    std::vector<LessonRun> runs_;
    mutable std::vector<std::optional<LessonRow>> rows_;
    struct Removed {
        std::size_t place;
        LessonRun run;
    };
    std::vector<Removed> removed_;
    QString condition_name_;
    QString unit_;
    bool inverse_ = false;
    bool through_origin_ = false;
    std::optional<std::size_t> shown_;
    std::uint64_t next_id_ = 1;
};
