// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A lesson: every run the class made, the value it changed in each, whose run it is, and the law
// the runs show. Each run keeps its recording, its origin, its memo, its value, its group, its
// holes per section and the range of its time chosen for its fits; what its sections give is worked
// out when asked, over the sections whose mid-times lie in that range, or over every whole section
// up to where the cart stopped, turned or bounced when it has none, and kept until the run's holes
// or range change.
//
// Every change goes through a method, which then tells the listeners what changed: a keeper writes
// just that, a table shows just that.

#include "analysis/least_squares.h"
#include "analysis/lesson_fit.h"
#include "analysis/position_fit.h"
#include "analysis/strip_check.h"
#include "common/reading_span.h"
#include "common/time_range.h"
#include "lesson/run_record.h"
#include "storage/lesson_csv.h"
#include "storage/lesson_record.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

struct LessonRun {
    common::Recording recording;
    MeasurementOrigin origin;
    QString memo;
    std::optional<double> value;
    std::int16_t holes = 1;
    bool late = false;  // its readings did not keep their schedule
    QString group;      // 班: whose run it is
    // The part of its time that its row is worked out over; none: every section before a turn.
    std::optional<common::TimeRange> range;
    // The readings that came late while it recorded: the sections they spoiled are fitted by none.
    std::vector<common::ReadingSpan> late_readings;
    // Stays with the run for its whole life, whatever its place in the table; 0 until it joins.
    std::uint64_t id = 0;
};

// What a run's sections give: the line and the position fit over the sections of its range, or
// over its sections up to where the cart stopped, turned or bounced, and what the strip check found.
struct LessonRow {
    std::int32_t sections = 0;  // how many sections were fitted, first..first + sections - 1
    std::optional<analysis::LineFit> line;
    std::optional<analysis::PositionFit> position_fit;
    analysis::StripCheck check;
    bool late = false;
    std::vector<std::int32_t> spoiled_sections;  // by readings that came late, left out of the fits
    // The velocity points fitted, for the graph of every run.
    std::vector<float> times;
    std::vector<float> velocities;
};

// Why a run is left out of the law.
enum class LawExclusion {
    NoValue,           // no 条件の値 typed
    ZeroUnderInverse,  // 条件の値 0 under 1/x
    NoPositionFit,     // its position fit is not determined
    NoStandardError,   // its position fit has no standard error, or one of 0: it cannot be weighted
};
// Why the law has no line.
enum class LawGap { None, TooFewRuns, ValuesAlike };

struct LessonLaw {
    std::vector<analysis::LessonPoint> points;
    std::vector<std::size_t> runs;  // the run of each point
    std::optional<analysis::LessonLine> line;
    // The runs left out, by place, under each reason in the order of LawExclusion; reasons with
    // no run are not listed.
    std::vector<std::pair<LawExclusion, std::vector<std::size_t>>> left_out;
    LawGap gap = LawGap::None;
};

// The lesson's own settings.
struct LessonSettings {
    QString condition_name;  // 台車の質量, おもりの数, ...
    QString unit;            // kg, 個, ...
    bool inverse = false;    // the law's x is 1 / the value
    bool through_origin = false;
    bool operator==(const LessonSettings &) const = default;
};

// A value typed into 条件の値: a number with the decimal point, in ASCII or in the full-width forms
// a Japanese keyboard gives; nothing for anything else. An empty text is no value.
std::optional<double> parse_condition_value(const QString &text);
// A number of holes typed into 穴数: a whole number 1..32767, in ASCII or full-width digits.
std::optional<std::int16_t> parse_holes(const QString &text);

// How long a recording lasts in s, N / sample_rate: no range of its run ends later.
double recording_seconds(const common::Recording &recording);
// Whether `range` can be chosen in a recording of `recording_s` s: 0 <= start < end <= recording_s.
bool range_fits(const common::TimeRange &range, double recording_s);
// A range typed into 範囲(s): two numbers with the decimal point, as parse_condition_value takes
// them, separated by a dash or a wave dash (-, –, ~, 〜, ー, or their full-width forms), that fit a
// recording of `recording_s` s; nothing for anything else, an empty text included.
std::optional<common::TimeRange> parse_range(const QString &text, double recording_s);

class Lesson : public QObject {
    Q_OBJECT
public:
    // A lesson holds at most this many runs, as its file does.
    static constexpr std::size_t kMostRuns = storage::kMostLessonRuns;

    explicit Lesson(QObject *parent = nullptr);

    const std::vector<LessonRun> &runs() const { return runs_; }
    const LessonRow &row(std::size_t k) const;
    const LessonSettings &settings() const { return settings_; }
    QString condition_name() const { return settings_.condition_name; }
    QString unit() const { return settings_.unit; }
    bool inverse() const { return settings_.inverse; }
    bool through_origin() const { return settings_.through_origin; }
    LessonLaw law() const;
    bool full() const { return runs_.size() >= kMostRuns; }

    // The run with these very readings and settings, if the lesson holds it.
    std::optional<std::size_t> find(const common::Recording &recording) const;
    // The place of the run with this id.
    std::optional<std::size_t> place_of(std::uint64_t id) const;
    // Appends a run and gives it an id; returns its place, or nothing when the lesson is full.
    std::optional<std::size_t> add(LessonRun run);
    // Appends runs as one change, each with an id of its own (a run that has none), or none of
    // them when they would not fit; returns the place of the first.
    std::optional<std::size_t> add_runs(std::vector<LessonRun> runs);
    // Puts a run taken out back at `place` with the id it had (undo of take).
    void insert(std::size_t place, LessonRun run);
    // Takes run k out and returns it.
    std::optional<LessonRun> take(std::size_t k);
    // Takes out the runs with these ids as one change.
    std::vector<LessonRun> take_runs(const std::vector<std::uint64_t> &ids);

    void set_memo(std::size_t k, const QString &memo);
    void set_value(std::size_t k, const std::optional<double> &value);
    void set_holes(std::size_t k, std::int16_t holes);
    void set_group(std::size_t k, const QString &group);
    // A range that does not fit the run's recording is refused, and nothing changes.
    void set_range(std::size_t k, const std::optional<common::TimeRange> &range);
    void set_settings(const LessonSettings &settings);
    void set_condition(const QString &name, const QString &unit);
    void set_inverse(bool inverse);
    void set_through_origin(bool through_origin);

    // The run on screen in the main window, if it is one of the lesson's.
    std::optional<std::size_t> shown() const { return shown_; }
    void set_shown(std::optional<std::size_t> k);

    // Becomes `runs` with `settings`, every run keeping the id it has when it has one; the runs'
    // ids must be unique.
    void replace(const LessonSettings &settings, std::vector<LessonRun> runs);
    // A new, empty lesson.
    void clear() { replace({}, {}); }

    // The record of the lesson for its file; `shown_rows` are what a spreadsheet shows first.
    storage::LessonRecord to_record(const QDateTime &saved_at, std::vector<QStringList> shown_rows) const;
    // The record of run k as a measurement file keeps it: its readings, settings, origin, holes and
    // range.
    storage::MeasurementRecord measurement_record(std::size_t k, const QDateTime &saved_at) const;
    static storage::MeasurementRecord record_of_run(const LessonRun &run, const QDateTime &saved_at);
    // The run a record keeps, or nothing when it refuses its own settings or its range does not fit
    // its recording.
    static std::optional<LessonRun> run_of_record(const storage::LessonRunRecord &kept);
    // The runs of a lesson record; nothing when one refuses its own settings (`failed_run` then
    // says which, from 0).
    static std::optional<std::vector<LessonRun>> runs_of_record(
        const storage::LessonRecord &record, std::size_t *failed_run = nullptr);
    static LessonSettings settings_of_record(const storage::LessonRecord &record);

signals:
    // Runs first..first + count - 1 joined, as one change.
    void runs_added(std::size_t first, std::size_t count);
    // The runs with these ids were taken out, as one change.
    void runs_removed(const std::vector<std::uint64_t> &ids);
    void run_changed(std::size_t k);
    void settings_changed();
    // Every run and setting replaced.
    void reset();
    void shown_changed();
    // Anything about the lesson changed (after each of the above but shown_changed).
    void changed();

private:
    void run_edited(std::size_t k);

    std::vector<LessonRun> runs_;
    mutable std::map<std::uint64_t, LessonRow> rows_;
    LessonSettings settings_;
    std::optional<std::size_t> shown_;
    std::uint64_t next_id_ = 1;
};
