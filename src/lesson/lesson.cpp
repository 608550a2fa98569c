// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lesson/lesson.h"

#include "analysis/sections.h"
#include "analysis/span_fits.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// The step to which 範囲(s) shows a range's ends, in s.
constexpr double kShownRangeStep_s = 0.001;

// A number with the decimal point and a sign, an exponent allowed.
QString number_pattern() { return QStringLiteral("[+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?"); }

// Full-width digits, point and signs of a Japanese keyboard become the ASCII ones.
QString plain_typed(const QString &text)
{
    return text.normalized(QString::NormalizationForm_KC).trimmed().replace(QChar(0x2212), '-');
}

}  // namespace

std::optional<double> parse_condition_value(const QString &text)
{
    const QString plain_text = plain_typed(text);
    static const QRegularExpression number(QStringLiteral("^%1$").arg(number_pattern()));
    if (!number.match(plain_text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = plain_text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<std::int16_t> parse_holes(const QString &text)
{
    bool ok = false;
    const int holes = plain_typed(text).toInt(&ok);
    if (!ok || holes < 1 || holes > 32767)
        return std::nullopt;
    return static_cast<std::int16_t>(holes);
}

double recording_seconds(const common::Recording &recording)
{
    if (!(recording.sample_rate > 0))
        return 0;
    return static_cast<double>(recording.last_sample) / static_cast<double>(recording.sample_rate);
}

bool range_fits(const common::TimeRange &range, double recording_s)
{
    return range.start_s >= 0 && range.end_s > range.start_s && range.end_s <= recording_s;
}

std::optional<common::TimeRange> parse_range(const QString &text, double recording_s)
{
    // A number as parse_condition_value takes it, then a dash or a wave dash, then another; a
    // Japanese keyboard gives ー for a dash in kana input.
    static const QRegularExpression range(
        QStringLiteral("^(%1)\\s*[-\u2013~\u301C\u30FC]\\s*(%1)$").arg(number_pattern()));
    const QRegularExpressionMatch match = range.match(plain_typed(text));
    if (!match.hasMatch())
        return std::nullopt;
    const std::optional<double> start = parse_condition_value(match.captured(1));
    const std::optional<double> end = parse_condition_value(match.captured(2));
    if (!start || !end)
        return std::nullopt;
    common::TimeRange typed{*start, *end};
    // 範囲(s) shows its ends to 0.001 s: an end it shows as the recording's length is that length,
    // so that what the cell shows can be typed back.
    if (typed.end_s > recording_s && typed.end_s < recording_s + kShownRangeStep_s / 2)
        typed.end_s = recording_s;
    if (!range_fits(typed, recording_s))
        return std::nullopt;
    return typed;
}

Lesson::Lesson(QObject *parent) : QObject(parent) { }

const LessonRow &Lesson::row(std::size_t k) const
{
    const LessonRun &run = runs_[k];
    if (const auto kept = rows_.find(run.id); kept != rows_.end())
        return kept->second;
    // As グラフ does with the run's holes, then the fits over the run's range, or over every
    // section before the cart stopped, turned or bounced when it has none.
    auto state = std::make_unique<common::MeasurementState>();
    static_cast<common::Recording &>(*state) = run.recording;
    analysis::begin_graph(*state, run.holes);
    analysis::analyse_sections(*state);
    const analysis::StripAnalysis strip = analysis::analyse_strip(*state);
    LessonRow row;
    row.check = strip.check;
    row.late = run.late;
    std::int32_t first_section = 1;
    std::int32_t last_section = 0;
    // Readings that came late leave their sections out, whether or not a range was chosen.
    const std::optional<common::TimeRange> range
        = run.range || run.late_readings.empty() ? run.range : analysis::whole_run_range(*state, strip);
    if (range) {
        const analysis::RangeFits fits = analysis::fit_range(*state, strip, *range, run.late_readings);
        row.spoiled_sections = fits.spoiled_sections;
        first_section = fits.first_section;
        last_section = fits.last_section;
        row.sections = fits.fitted_sections();
        // The table shows the line as 計測 does, to a tenth of a cm/s² at most: single precision
        // holds it.
        if (const std::optional<analysis::FitStatistics> &line = fits.line)
            row.line = analysis::LineFit{static_cast<float>(line->intercept), static_cast<float>(line->slope)};
        row.position_fit = fits.position_fit;
    } else {
        row.sections = last_section = analysis::sections_before_turn(strip);
        const analysis::SpanFits fits = analysis::fit_span(*state, &strip, row.sections, std::max(0, strip.sections));
        row.line = fits.line;
        row.position_fit = fits.position_fit;
    }
    for (std::int32_t i = first_section; i <= last_section && static_cast<std::size_t>(i) < state->sect_time.size();
         ++i) {
        if (std::binary_search(row.spoiled_sections.begin(), row.spoiled_sections.end(), i))
            continue;
        row.times.push_back(state->sect_time[static_cast<std::size_t>(i)]);
        row.velocities.push_back(state->sect_velocity[static_cast<std::size_t>(i)]);
    }
    return rows_.emplace(run.id, std::move(row)).first->second;
}

std::optional<std::size_t> Lesson::find(const common::Recording &recording) const
{
    for (std::size_t k = 0; k < runs_.size(); ++k) {
        const common::Recording &other = runs_[k].recording;
        if (common::same_readings(other, recording))
            return k;
    }
    return std::nullopt;
}

std::optional<std::size_t> Lesson::place_of(std::uint64_t id) const
{
    for (std::size_t k = 0; k < runs_.size(); ++k)
        if (runs_[k].id == id)
            return k;
    return std::nullopt;
}

std::optional<std::size_t> Lesson::add(LessonRun run)
{
    run.id = 0;
    std::vector<LessonRun> runs;
    runs.push_back(std::move(run));
    return add_runs(std::move(runs));
}

std::optional<std::size_t> Lesson::add_runs(std::vector<LessonRun> runs)
{
    if (runs.empty() || runs_.size() + runs.size() > kMostRuns)
        return std::nullopt;
    const std::size_t first = runs_.size();
    for (LessonRun &run : runs) {
        if (run.id == 0 || place_of(run.id))
            run.id = next_id_++;
        next_id_ = std::max(next_id_, run.id + 1);
        runs_.push_back(std::move(run));
    }
    emit runs_added(first, runs_.size() - first);
    emit changed();
    return first;
}

void Lesson::insert(std::size_t place, LessonRun run)
{
    if (full())
        return;
    if (run.id == 0 || place_of(run.id))
        run.id = next_id_++;
    next_id_ = std::max(next_id_, run.id + 1);
    place = std::min(place, runs_.size());
    runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(place), std::move(run));
    if (shown_ && *shown_ >= place)
        ++*shown_;
    emit runs_added(place, 1);
    emit changed();
}

std::optional<LessonRun> Lesson::take(std::size_t k)
{
    if (k >= runs_.size())
        return std::nullopt;
    std::vector<LessonRun> taken = take_runs({runs_[k].id});
    return std::move(taken.front());
}

std::vector<LessonRun> Lesson::take_runs(const std::vector<std::uint64_t> &ids)
{
    std::vector<LessonRun> taken;
    std::vector<std::uint64_t> taken_ids;
    for (const std::uint64_t id : ids) {
        const std::optional<std::size_t> k = place_of(id);
        if (!k)
            continue;
        taken.push_back(std::move(runs_[*k]));
        runs_.erase(runs_.begin() + static_cast<std::ptrdiff_t>(*k));
        rows_.erase(id);
        taken_ids.push_back(id);
        if (shown_ && *shown_ == *k)
            shown_.reset();
        else if (shown_ && *shown_ > *k)
            --*shown_;
    }
    if (taken_ids.empty())
        return taken;
    emit runs_removed(taken_ids);
    emit changed();
    return taken;
}

void Lesson::run_edited(std::size_t k)
{
    emit run_changed(k);
    emit changed();
}

void Lesson::set_memo(std::size_t k, const QString &memo)
{
    if (k >= runs_.size() || runs_[k].memo == memo)
        return;
    runs_[k].memo = memo;
    run_edited(k);
}

void Lesson::set_value(std::size_t k, const std::optional<double> &value)
{
    if (k >= runs_.size() || runs_[k].value == value)
        return;
    runs_[k].value = value;
    run_edited(k);
}

void Lesson::set_holes(std::size_t k, std::int16_t holes)
{
    if (k >= runs_.size() || holes < 1 || runs_[k].holes == holes)
        return;
    runs_[k].holes = holes;
    rows_.erase(runs_[k].id);
    run_edited(k);
}

void Lesson::set_group(std::size_t k, const QString &group)
{
    if (k >= runs_.size() || runs_[k].group == group)
        return;
    runs_[k].group = group;
    run_edited(k);
}

void Lesson::set_range(std::size_t k, const std::optional<common::TimeRange> &range)
{
    if (k >= runs_.size() || runs_[k].range == range)
        return;
    if (range && !range_fits(*range, recording_seconds(runs_[k].recording)))
        return;
    runs_[k].range = range;
    rows_.erase(runs_[k].id);
    run_edited(k);
}

void Lesson::set_settings(const LessonSettings &settings)
{
    if (settings == settings_)
        return;
    settings_ = settings;
    emit settings_changed();
    emit changed();
}

void Lesson::set_condition(const QString &name, const QString &unit)
{
    LessonSettings settings = settings_;
    settings.condition_name = name;
    settings.unit = unit;
    set_settings(settings);
}

void Lesson::set_inverse(bool inverse)
{
    LessonSettings settings = settings_;
    settings.inverse = inverse;
    set_settings(settings);
}

void Lesson::set_through_origin(bool through_origin)
{
    LessonSettings settings = settings_;
    settings.through_origin = through_origin;
    set_settings(settings);
}

void Lesson::set_shown(std::optional<std::size_t> k)
{
    if (k && *k >= runs_.size())
        k.reset();
    if (k == shown_)
        return;
    shown_ = k;
    emit shown_changed();
}

void Lesson::replace(const LessonSettings &settings, std::vector<LessonRun> runs)
{
    if (runs.size() > kMostRuns)
        runs.resize(kMostRuns);
    for (LessonRun &run : runs) {
        if (run.id == 0)
            run.id = next_id_++;
        next_id_ = std::max(next_id_, run.id + 1);
    }
    runs_ = std::move(runs);
    rows_.clear();
    settings_ = settings;
    shown_.reset();
    emit reset();
    emit changed();
    emit shown_changed();
}

storage::MeasurementRecord Lesson::measurement_record(std::size_t k, const QDateTime &saved_at) const
{
    return record_of_run(runs_[k], saved_at);
}

storage::MeasurementRecord Lesson::record_of_run(const LessonRun &run, const QDateTime &saved_at)
{
    storage::MeasurementRecord record = record_of_recording(run.recording, run.origin, saved_at, run.holes);
    record.range = run.range;
    record.late_readings = run.late_readings;
    return record;
}

storage::LessonRecord Lesson::to_record(const QDateTime &saved_at, std::vector<QStringList> shown_rows) const
{
    storage::LessonRecord record;
    record.program_name = program_name();
    record.program_version = program_version();
    record.saved_at = saved_at;
    record.condition_name = settings_.condition_name;
    record.unit = settings_.unit;
    record.inverse = settings_.inverse;
    record.through_origin = settings_.through_origin;
    for (std::size_t k = 0; k < runs_.size(); ++k) {
        storage::LessonRunRecord run{measurement_record(k, saved_at), runs_[k].memo, runs_[k].value, runs_[k].late};
        run.group = runs_[k].group;
        record.runs.push_back(std::move(run));
    }
    record.shown_rows = std::move(shown_rows);
    return record;
}

std::optional<LessonRun> Lesson::run_of_record(const storage::LessonRunRecord &kept)
{
    auto state = std::make_unique<common::MeasurementState>();
    storage::ReadResult read;
    read.record = kept.measurement;
    if (put_into_state(*state, read))
        return std::nullopt;
    LessonRun run;
    run.recording = static_cast<const common::Recording &>(*state);
    run.origin = {kept.measurement.source, kept.measurement.measured_at};
    run.memo = kept.memo;
    run.value = kept.value;
    run.holes = static_cast<std::int16_t>(std::clamp(kept.measurement.holes_per_section.value_or(1), 1, 32767));
    run.late = kept.late;
    run.group = kept.group;
    run.late_readings = kept.measurement.late_readings;
    if (std::optional<common::TimeRange> range = kept.measurement.range) {
        // The rate of a file need only be its period's to within kRateTolerance: a range that ends
        // at the file's length ends at the run's.
        const double recording_s = recording_seconds(run.recording);
        if (range->end_s > recording_s && range->end_s <= recording_s * (1 + kRateTolerance))
            range->end_s = recording_s;
        if (!range_fits(*range, recording_s))
            return std::nullopt;
        run.range = range;
    }
    return run;
}

std::optional<std::vector<LessonRun>> Lesson::runs_of_record(
    const storage::LessonRecord &record, std::size_t *failed_run)
{
    std::vector<LessonRun> runs;
    for (std::size_t k = 0; k < record.runs.size(); ++k) {
        std::optional<LessonRun> run = run_of_record(record.runs[k]);
        if (!run) {
            if (failed_run)
                *failed_run = k;
            return std::nullopt;
        }
        runs.push_back(std::move(*run));
    }
    return runs;
}

LessonSettings Lesson::settings_of_record(const storage::LessonRecord &record)
{
    return {record.condition_name, record.unit, record.inverse, record.through_origin};
}
