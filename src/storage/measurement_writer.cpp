// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "storage/csv_fields.h"
#include "storage/csv_layout.h"
#include "storage/measurement_csv.h"

#include <QLocale>

#include <charconv>
#include <iterator>

namespace storage {

namespace {

using namespace layout;

// The shortest text that reads back to the same float: 0.021, where nine digits would give
// 0.0209999997.
QString single_text(float value)
{
    char text[32];
    const std::to_chars_result written = std::to_chars(std::begin(text), std::end(text), value);
    return QString::fromLatin1(text, written.ptr - text);
}
QString double_text(double value) { return QString::number(value, 'g', QLocale::FloatingPointShortest); }
QString optional_text(const std::optional<double> &value) { return value ? double_text(*value) : QString(); }

void add_row(QByteArray &out, const QStringList &fields) { out += csv_row(fields); }

void add_header(QByteArray &out, const MeasurementRecord &record)
{
    add_row(out, {kFileTitle, kLayout});
    add_row(out, {kProgramKey, record.program_name, record.program_version});
    add_row(out, {kSavedKey, record.saved_at.toString(kDateFormat)});
    if (record.measured_at.isValid())
        add_row(out, {kMeasuredKey, record.measured_at.toString(kDateFormat)});
    add_row(out, QStringList{kSourceKey} + record.source);
    add_row(out, {kPeriodKey, QString::number(record.period_ms)});
    add_row(out, {kTimeKey, single_text(record.meas_time_s)});
    add_row(out, {kRateKey, single_text(record.sample_rate)});
    add_row(out, {kCountKey, QString::number(record.last_sample)});
    if (!record.late_readings.empty())
        add_row(out, {kLateReadingsKey, reading_spans_text(record.late_readings)});
    if (record.holes_per_section)
        add_row(out, {kHolesKey, QString::number(*record.holes_per_section)});
    if (record.range)
        add_row(out, {kRangeKey, double_text(record.range->start_s), double_text(record.range->end_s)});
    add_row(out, {});
}

void add_samples(QByteArray &out, const MeasurementRecord &record)
{
    add_row(out, {kSamplesTitle});
    add_row(out, kSampleColumns);
    for (std::size_t i = 0; i < record.samples.size(); ++i)
        add_row(out,
            {QString::number(i), double_text(static_cast<double>(i) / record.sample_rate),
                QString::number(record.samples[i])});
    add_row(out, {});
}

void add_edge_stamps(QByteArray &out, const std::vector<common::EdgeStamp> &edges)
{
    add_row(out, {kEdgeStampsTitle});
    add_row(out, kEdgeStampColumns);
    for (std::size_t i = 0; i < edges.size(); ++i)
        add_row(
            out, {QString::number(i), edges[i].rising ? kRisingEdge : kFallingEdge, QString::number(edges[i].time_us)});
    add_row(out, {});
}

void add_sections(QByteArray &out, const MeasurementRecord &record)
{
    add_row(out, {kSectionsTitle});
    add_row(out, kSectionColumns);
    for (std::size_t k = 0; k < record.sections.size(); ++k) {
        const SectionRow &section = record.sections[k];
        add_row(out,
            {QString::number(k + 1), single_text(section.mid_time_s), single_text(section.duration_s),
                single_text(section.velocity_cm_s)});
    }
    add_row(out, {});
    add_row(out, {kBoundariesTitle});
    add_row(out, kBoundaryColumns);
    for (std::size_t k = 0; k < record.boundaries.size(); ++k)
        add_row(out,
            {QString::number(k), double_text(record.boundaries[k].time_s),
                double_text(record.boundaries[k].distance_cm)});
    add_row(out, {});
}

void add_fit(QByteArray &out, const FitRecord &fit)
{
    add_row(out, {kFitTitle});
    add_row(out, kFitColumns);
    add_row(out,
        {kInitialVelocityKey, fit.initial_velocity_text, single_text(fit.initial_velocity),
            double_text(fit.statistics.intercept), optional_text(fit.statistics.intercept_error)});
    add_row(out,
        {kAccelerationKey, fit.acceleration_text, single_text(fit.acceleration), double_text(fit.statistics.slope),
            optional_text(fit.statistics.slope_error)});
    add_row(out, {kRSquaredKey, QString(), optional_text(fit.statistics.r_squared)});
    add_row(out, {kPointsKey, QString(), QString::number(fit.statistics.points)});
    add_row(out, {});
}

void add_position_fit(QByteArray &out, const PositionFitRecord &fit)
{
    add_row(out, {kPositionFitTitle});
    add_row(out, kPositionFitColumns);
    add_row(out, {kInitialVelocityKey, double_text(fit.initial_velocity), optional_text(fit.initial_velocity_error)});
    add_row(out, {kAccelerationKey, double_text(fit.acceleration), optional_text(fit.acceleration_error)});
    add_row(out, {kRSquaredKey, double_text(fit.r_squared)});
    add_row(out, {kEdgesKey, QString::number(fit.edges)});
    add_row(out, {});
}

QString section_numbers(const std::vector<std::int32_t> &sections)
{
    QStringList numbers;
    for (const std::int32_t k : sections)
        numbers << QString::number(k);
    return numbers.join(QLatin1Char(' '));
}

void add_strip_check(QByteArray &out, const StripCheckRecord &check)
{
    add_row(out, {kStripCheckTitle});
    add_row(out, kStripCheckColumns);
    add_row(out, {kMissedHolesKey, section_numbers(check.missed_hole_sections)});
    add_row(out, {kExtraEdgesKey, section_numbers(check.extra_edge_sections)});
    add_row(out, {kFollowableSpeedKey, optional_text(check.followable_speed_cm_s)});
    add_row(out, {kCoarsePeriodKey, section_numbers(check.coarse_period_sections)});
    add_row(out, {kTurnKey, check.turn_section ? QString::number(*check.turn_section) : QString()});
    add_row(out, {kTornHolesKey, section_numbers(check.torn_hole_sections)});
    add_row(out, {});
}

}  // namespace

QByteArray write_measurement_csv(const MeasurementRecord &record)
{
    QByteArray out = kByteOrderMark;
    add_header(out, record);
    add_samples(out, record);
    if (record.edge_stamps)
        add_edge_stamps(out, *record.edge_stamps);
    // The blocks that グラフ and 最小２乗法 add, in the order the reader expects them.
    if (record.holes_per_section) {
        add_sections(out, record);
        if (record.fit)
            add_fit(out, *record.fit);
        if (record.position_fit)
            add_position_fit(out, *record.position_fit);
        if (record.strip_check)
            add_strip_check(out, *record.strip_check);
    }
    add_row(out, {kEndMark});
    return out;
}

}  // namespace storage
