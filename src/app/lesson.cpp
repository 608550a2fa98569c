// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lesson.h"

#include "common/number_format.h"
#include "graph_results.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

QString plain(double value, const char *pattern)
{
    return QString::fromStdString(common::format_number(value, pattern));
}

QString value_text(const std::optional<double> &value) { return value ? QString::number(*value, 'g', 12) : QString(); }

// What the strip check found anywhere in a run, in a few words.
QString findings(const analysis::StripCheck &check, bool late)
{
    QStringList words;
    if (!check.missed_hole_sections.empty())
        words << QStringLiteral("穴の読み落とし");
    if (!check.extra_edge_sections.empty())
        words << QStringLiteral("縁の二重読み");
    if (!check.coarse_period_sections.empty())
        words << QStringLiteral("周期の限界");
    if (!check.torn_hole_sections.empty())
        words << QStringLiteral("穴の欠け");
    if (check.turn_section)
        words << QStringLiteral("折り返し");
    if (late)
        words << QStringLiteral("読み取りの遅れ");
    return words.join(QStringLiteral("、"));
}

}  // namespace

std::optional<double> parse_condition_value(const QString &text)
{
    // The full-width digits, point and signs of a Japanese keyboard are the ASCII ones.
    const QString plain_text = text.normalized(QString::NormalizationForm_KC).trimmed().replace(QChar(0x2212), '-');
    static const QRegularExpression number(QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    if (!number.match(plain_text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = plain_text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

Lesson::Lesson(QObject *parent) : QObject(parent) { }

const LessonRow &Lesson::row(std::size_t k) const
{
    std::optional<LessonRow> &row = rows_[k];
    if (row)
        return *row;
    const LessonRun &run = runs_[k];
    auto state = std::make_unique<common::MeasurementState>();
    static_cast<common::Recording &>(*state) = run.recording;
    const FirstGraph graph = first_graph(std::move(state), run.holes);
    row.emplace();
    row->line = graph.results.line;
    row->position_fit = graph.results.position_fit;
    row->check = findings(graph.strip.check, run.late);
    for (std::int32_t i = 1; i <= graph.state->plotted_sections; ++i) {
        row->times.push_back(graph.state->sect_time[static_cast<std::size_t>(i)]);
        row->velocities.push_back(graph.state->sect_velocity[static_cast<std::size_t>(i)]);
    }
    return *row;
}

LessonLaw Lesson::law() const
{
    LessonLaw law;
    QStringList without_value;
    QStringList zero;
    QStringList without_fit;
    for (std::size_t k = 0; k < runs_.size(); ++k) {
        const QString number = QString::number(k + 1);
        const std::optional<double> &value = runs_[k].value;
        if (!value) {
            without_value << number;
            continue;
        }
        if (inverse_ && *value == 0) {
            zero << number;
            continue;
        }
        const std::optional<analysis::PositionFit> &fit = row(k).position_fit;
        if (!fit || !fit->acceleration_error) {
            without_fit << number;
            continue;
        }
        law.points.push_back({inverse_ ? 1.0 / *value : *value, fit->acceleration, *fit->acceleration_error});
        law.runs.push_back(k);
    }
    QStringList notes;
    if (!without_value.isEmpty())
        notes << QStringLiteral("条件の値のない回（%1）は除いています。").arg(without_value.join(QStringLiteral("、")));
    if (!zero.isEmpty())
        notes << QStringLiteral("条件の値が 0 の回（%1）は 1/値 にできないので除いています。")
                     .arg(zero.join(QStringLiteral("、")));
    if (!without_fit.isEmpty())
        notes << QStringLiteral("位置の当てはめが求まらない回（%1）は除いています。")
                     .arg(without_fit.join(QStringLiteral("、")));
    law.line = analysis::fit_lesson_line(law.points, through_origin_);
    if (!law.line)
        notes << (law.points.size() < 2 ? QStringLiteral("直線を引くには、値のある回が 2 回以上必要です。")
                                        : QStringLiteral("条件の値がみな同じなので、直線が決まりません。"));
    law.note = notes.join(QLatin1Char(' '));
    return law;
}

std::optional<std::size_t> Lesson::find(const common::Recording &recording) const
{
    for (std::size_t k = 0; k < runs_.size(); ++k) {
        const common::Recording &other = runs_[k].recording;
        if (other.period_ms == recording.period_ms && other.last_sample == recording.last_sample
            && other.meas_time == recording.meas_time
            && std::equal(
                other.samples.begin(), other.samples.begin() + other.last_sample + 1, recording.samples.begin()))
            return k;
    }
    return std::nullopt;
}

std::size_t Lesson::add(LessonRun run)
{
    run.id = next_id_++;
    runs_.push_back(std::move(run));
    rows_.emplace_back();
    emit changed();
    return runs_.size() - 1;
}

void Lesson::remove(std::size_t k)
{
    if (k >= runs_.size())
        return;
    removed_.push_back({k, std::move(runs_[k])});
    runs_.erase(runs_.begin() + static_cast<std::ptrdiff_t>(k));
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(k));
    if (shown_ && *shown_ == k)
        shown_.reset();
    else if (shown_ && *shown_ > k)
        --*shown_;
    emit changed();
}

bool Lesson::undo()
{
    if (removed_.empty())
        return false;
    Removed last = std::move(removed_.back());
    removed_.pop_back();
    const std::size_t place = std::min(last.place, runs_.size());
    runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(place), std::move(last.run));
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(place), std::nullopt);
    if (shown_ && *shown_ >= place)
        ++*shown_;
    emit changed();
    return true;
}

void Lesson::touched(std::size_t k)
{
    (void)k;
    emit changed();
}

void Lesson::set_memo(std::size_t k, const QString &memo)
{
    if (k >= runs_.size() || runs_[k].memo == memo)
        return;
    runs_[k].memo = memo;
    touched(k);
}

void Lesson::set_value(std::size_t k, const std::optional<double> &value)
{
    if (k >= runs_.size() || runs_[k].value == value)
        return;
    runs_[k].value = value;
    touched(k);
}

void Lesson::set_holes(std::size_t k, std::int16_t holes)
{
    if (k >= runs_.size() || holes < 1 || runs_[k].holes == holes)
        return;
    runs_[k].holes = holes;
    rows_[k].reset();
    touched(k);
}

void Lesson::set_condition(const QString &name, const QString &unit)
{
    if (name == condition_name_ && unit == unit_)
        return;
    condition_name_ = name;
    unit_ = unit;
    emit changed();
}

void Lesson::set_inverse(bool inverse)
{
    if (inverse == inverse_)
        return;
    inverse_ = inverse;
    emit changed();
}

void Lesson::set_through_origin(bool through_origin)
{
    if (through_origin == through_origin_)
        return;
    through_origin_ = through_origin;
    emit changed();
}

void Lesson::clear()
{
    runs_.clear();
    rows_.clear();
    removed_.clear();
    condition_name_.clear();
    unit_.clear();
    inverse_ = false;
    through_origin_ = false;
    shown_.reset();
    emit changed();
}

QStringList Lesson::column_names()
{
    return {QStringLiteral("回"), QStringLiteral("メモ"), QStringLiteral("条件の値"), QStringLiteral("穴数"),
        QStringLiteral("初速度(cm/s)"), QStringLiteral("加速度(cm/s²)"),
        QStringLiteral("位置の当てはめの加速度(cm/s²)"), QStringLiteral("標準誤差(cm/s²)"), QStringLiteral("r²"),
        QStringLiteral("点検")};
}

QStringList Lesson::cells(std::size_t k) const
{
    const LessonRun &run = runs_[k];
    const LessonRow &result = row(k);
    QStringList cells = {QString::number(k + 1), run.memo, value_text(run.value), QString::number(run.holes)};
    if (result.line)
        cells << plain(result.line->initial_velocity, "0") << plain(result.line->acceleration, "0.0");
    else
        cells << QString() << QString();
    if (const std::optional<analysis::PositionFit> &fit = result.position_fit) {
        const RoundedValue rounded = rounded_with_error(fit->acceleration, fit->acceleration_error);
        cells << rounded.value << rounded.error << plain(fit->r_squared, "0.0000");
    } else {
        cells << QString() << QString() << QString();
    }
    cells << result.check;
    return cells;
}

std::vector<QStringList> Lesson::copy_rows() const
{
    std::vector<QStringList> rows;
    rows.push_back({condition_name_, unit_});
    rows.push_back(column_names());
    for (std::size_t k = 0; k < runs_.size(); ++k)
        rows.push_back(cells(k));
    rows.push_back({});
    const LessonLaw lesson_law = law();
    if (const std::optional<analysis::LessonLine> &line = lesson_law.line) {
        const RoundedValue slope = rounded_with_error(line->slope, line->slope_error);
        rows.push_back({QStringLiteral("傾き"), slope.value, slope.error});
        if (line->intercept_error) {
            const RoundedValue intercept = rounded_with_error(line->intercept, line->intercept_error);
            rows.push_back({QStringLiteral("切片"), intercept.value, intercept.error});
        } else {
            rows.push_back({QStringLiteral("切片"), QStringLiteral("0"), QString()});
        }
        rows.push_back({QStringLiteral("r²"), line->r_squared ? plain(*line->r_squared, "0.0000") : QString()});
    } else {
        rows.push_back({QStringLiteral("傾き"), QString(), QString()});
        rows.push_back({QStringLiteral("切片"), QString(), QString()});
        rows.push_back({QStringLiteral("r²"), QString()});
    }
    rows.push_back({QStringLiteral("横軸"), inverse_ ? QStringLiteral("1/x") : QStringLiteral("x")});
    rows.push_back({QStringLiteral("原点を通る"), through_origin_ ? QStringLiteral("はい") : QStringLiteral("いいえ")});
    return rows;
}

storage::MeasurementRecord Lesson::measurement_record(std::size_t k, const QDateTime &saved_at) const
{
    const LessonRun &run = runs_[k];
    auto state = std::make_unique<common::MeasurementState>();
    static_cast<common::Recording &>(*state) = run.recording;
    storage::MeasurementRecord record = record_of_window(*state, std::nullopt, run.origin, saved_at);
    record.holes_per_section = run.holes;
    return record;
}

storage::LessonRecord Lesson::to_record(const QDateTime &saved_at) const
{
    storage::LessonRecord record;
    record.program_name = QStringLiteral("undou-kaiseki");
    record.program_version = QStringLiteral(UNDOU_VERSION);
    record.saved_at = saved_at;
    record.condition_name = condition_name_;
    record.unit = unit_;
    record.inverse = inverse_;
    record.through_origin = through_origin_;
    for (std::size_t k = 0; k < runs_.size(); ++k)
        record.runs.push_back({measurement_record(k, saved_at), runs_[k].memo, runs_[k].value, runs_[k].late});
    record.shown_rows = copy_rows();
    return record;
}

bool Lesson::load(const storage::LessonRecord &record, std::size_t *failed_run)
{
    std::vector<LessonRun> runs;
    for (std::size_t k = 0; k < record.runs.size(); ++k) {
        const storage::LessonRunRecord &kept = record.runs[k];
        auto state = std::make_unique<common::MeasurementState>();
        storage::ReadResult read;
        read.record = kept.measurement;
        if (put_into_state(*state, read)) {
            if (failed_run)
                *failed_run = k;
            return false;
        }
        LessonRun run;
        run.recording = static_cast<const common::Recording &>(*state);
        run.origin = {kept.measurement.source, kept.measurement.measured_at};
        run.memo = kept.memo;
        run.value = kept.value;
        run.holes = static_cast<std::int16_t>(std::clamp(kept.measurement.holes_per_section.value_or(1), 1, 32767));
        run.late = kept.late;
        run.id = next_id_++;
        runs.push_back(std::move(run));
    }
    runs_ = std::move(runs);
    rows_.assign(runs_.size(), std::nullopt);
    removed_.clear();
    condition_name_ = record.condition_name;
    unit_ = record.unit;
    inverse_ = record.inverse;
    through_origin_ = record.through_origin;
    shown_.reset();
    emit changed();
    return true;
}
