// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "inspector_texts.h"

#include "analysis/late_readings.h"
#include "graph_results.h"
#include "messages.h"

#include <algorithm>
#include <cmath>

namespace {

const QString kSeparator = QStringLiteral("　");

// The cells of a value with its error, rounded alike; empty cells without a value.
QStringList estimate_cells(const std::optional<analysis::Estimate> &estimate)
{
    if (!estimate)
        return {QString(), QString()};
    const RoundedValue rounded = rounded_with_error(estimate->value, estimate->error);
    return {rounded.value, rounded.error};
}

QString estimate_text(const analysis::Estimate &estimate, const QString &unit)
{
    return value_with_error(estimate.value, estimate.error, unit);
}

}  // namespace

std::optional<InspectedRange> inspect_range(const analysis::AnalysedRun &run,
    const std::optional<common::TimeRange> &chosen, const std::optional<double> &tangent_time,
    const std::vector<common::ReadingSpan> &late_readings)
{
    const std::optional<common::TimeRange> range = chosen ? chosen : analysis::whole_run_range(*run.state, run.strip);
    if (!range || !analysis::data_span(*run.state))
        return std::nullopt;
    InspectedRange inspected;
    inspected.fits = analysis::fit_range(*run.state, run.strip, *range, late_readings);
    inspected.chosen = chosen.has_value();
    inspected.turn_section = run.strip.check.turn_section;
    inspected.spoiled_sections = analysis::spoiled_sections(*run.state, late_readings);
    inspected.tangent_time = tangent_time;
    if (tangent_time && inspected.fits.position_fit)
        inspected.tangent = analysis::velocity_at(*inspected.fits.position_fit, *tangent_time);
    return inspected;
}

std::optional<double> parse_seconds(const QString &text)
{
    QString plain;
    for (const QChar c : text.trimmed()) {
        // Full-width digits, point and minus as a Japanese keyboard gives them.
        if (c.unicode() >= 0xFF10 && c.unicode() <= 0xFF19)
            plain += QChar(u'0' + (c.unicode() - 0xFF10));
        else if (c == QChar(0xFF0E))
            plain += QLatin1Char('.');
        else if (c == QChar(0xFF0D) || c == QChar(0x2212))
            plain += QLatin1Char('-');
        else
            plain += c;
    }
    bool ok = false;
    const double value = plain.toDouble(&ok);
    // Only plain decimals: no exponent, no "inf" or "nan".
    for (const QChar c : plain) {
        if (!c.isDigit() && c != QLatin1Char('.') && c != QLatin1Char('-'))
            return std::nullopt;
    }
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

RangeRefusal check_typed_range(
    const QString &start, const QString &end, const common::TimeRange &span, common::TimeRange *range)
{
    const std::optional<double> from = parse_seconds(start);
    const std::optional<double> to = parse_seconds(end);
    if (!from || !to)
        return RangeRefusal::NotANumber;
    if (!(*from < *to))
        return RangeRefusal::WrongWay;
    // A range reaching past the data is taken up to its end; one wholly outside it is refused.
    const common::TimeRange clamped{std::max(*from, span.start_s), std::min(*to, span.end_s)};
    if (!(clamped.start_s < clamped.end_s))
        return RangeRefusal::Outside;
    if (range)
        *range = clamped;
    return RangeRefusal::None;
}

QString range_refusal_text(RangeRefusal why)
{
    switch (why) {
    case RangeRefusal::None:
        return {};
    case RangeRefusal::NotANumber:
        return QStringLiteral("開始と終了は秒の数で入れてください（例：0.1）。");
    case RangeRefusal::WrongWay:
        return QStringLiteral("終了は開始より後の時刻にしてください。範囲は変わっていません。");
    case RangeRefusal::Outside:
        return QStringLiteral("その範囲には区間がありません。範囲は変わっていません。");
    }
    return {};
}

QString seconds_text(double seconds) { return QString::number(seconds, 'f', 3); }

QString section_point_text(const common::MeasurementState &state, std::int32_t k)
{
    const QStringList cells = section_texts(state, k);
    return QStringLiteral("区間 %1%5中央の時刻 %2 s%5時間 %3 s%5速度 %4 cm/s")
        .arg(cells.value(0), cells.value(1), cells.value(2), cells.value(3), kSeparator);
}

double boundary_distance(const common::MeasurementState &state, std::int32_t j)
{
    return j * static_cast<double>(state.section_length);
}

QString boundary_point_text(const common::MeasurementState &state, std::int32_t j)
{
    return QStringLiteral("境界 %1%4時刻 %2 s%4距離 %3 cm")
        .arg(QString::number(j), QString::number(analysis::boundary_time(state, j), 'f', 4),
            QString::number(boundary_distance(state, j), 'f', 3), kSeparator);
}

QStringList inspection_lines(const InspectedRange &inspected)
{
    const analysis::RangeFits &fits = inspected.fits;
    QStringList lines;
    QString range
        = QStringLiteral("範囲 %1 s ～ %2 s").arg(seconds_text(fits.range.start_s), seconds_text(fits.range.end_s));
    if (!inspected.chosen)
        range += QStringLiteral("（範囲を選んでいないので、台車が止まるまでのすべての区間）");
    if (fits.sections() > 0)
        range += QStringLiteral("%1区間 %2～%3（%4 個）")
                     .arg(kSeparator, QString::number(fits.first_section), QString::number(fits.last_section),
                         QString::number(fits.sections()));
    lines << range;
    const std::vector<std::int32_t> &spoiled = inspected.spoiled_sections;
    if (fits.cut_at_turn && inspected.turn_section
        && std::binary_search(spoiled.begin(), spoiled.end(), *inspected.turn_section))
        lines << QStringLiteral("区間 %1 は読み取りが遅れて乱れたので、その手前までを当てはめました。")
                     .arg(*inspected.turn_section);
    else if (fits.cut_at_turn && inspected.turn_section)
        lines << QStringLiteral("区間 %1 で台車が止まるか向きを変えたので、その手前までを当てはめました。")
                     .arg(*inspected.turn_section);
    if (!fits.spoiled_sections.empty())
        lines << QStringLiteral("区間 %1 は計測中にコンピューターが止まって読み取りが遅れたので、当てはめから"
                                "除きました。")
                     .arg(messages::section_list(fits.spoiled_sections));
    if (const std::optional<analysis::FitStatistics> &line = fits.line) {
        lines << QStringLiteral("直線：初速度 %1%5加速度 %2%5r² %3%5点の数 %4")
                     .arg(estimate_text({line->intercept, line->intercept_error}, QStringLiteral("cm/s")),
                         estimate_text({line->slope, line->slope_error}, QStringLiteral("cm/s²")),
                         line->r_squared ? QString::number(*line->r_squared, 'f', 4) : QStringLiteral("―"),
                         QString::number(line->points), kSeparator);
    } else {
        lines << QStringLiteral("直線：範囲の区間が %1 個です。直線には %2 個以上の区間が必要です。")
                     .arg(fits.fitted_sections())
                     .arg(analysis::kFewestRangeSections);
    }
    if (const std::optional<analysis::PositionFit> &fit = fits.position_fit)
        lines << QStringLiteral("位置の当てはめ：加速度 %1（縁 %2 個）")
                     .arg(estimate_text({fit->acceleration, fit->acceleration_error}, QStringLiteral("cm/s²")))
                     .arg(fit->edges);
    else
        lines << QStringLiteral("位置の当てはめ：") + messages::position_fit_refused(fits.position_refusal);
    if (fits.area && fits.rise) {
        const bool agree = analysis::area_agrees_with_rise(*fits.area, *fits.rise);
        lines << QStringLiteral("面積 %1%3距離の差 %2%3%4")
                     .arg(estimate_text(*fits.area, QStringLiteral("cm")),
                         estimate_text(*fits.rise, QStringLiteral("cm")), kSeparator,
                         agree ? QStringLiteral("誤差の範囲で一致しています。")
                               : QStringLiteral("誤差を超えて違います。区間の速度か穴の縁を確かめてください。"));
    }
    if (inspected.tangent_time) {
        if (inspected.tangent)
            lines << QStringLiteral("接線：時刻 %1 s の傾き %2")
                         .arg(seconds_text(*inspected.tangent_time),
                             estimate_text(*inspected.tangent, QStringLiteral("cm/s")));
        else
            lines << QStringLiteral("接線：位置の当てはめがないので引けません。");
    }
    return lines;
}

QString inspection_copy_text(const InspectedRange &inspected)
{
    const analysis::RangeFits &fits = inspected.fits;
    QStringList rows;
    auto add_row = [&](const QString &name, const QStringList &cells) {
        rows << (QStringList{name} + cells).join(QLatin1Char('\t'));
    };
    add_row(QStringLiteral("範囲(s)"), {seconds_text(fits.range.start_s), seconds_text(fits.range.end_s)});
    add_row(QStringLiteral("点の数"), {QString::number(fits.line ? fits.line->points : fits.fitted_sections())});
    std::optional<analysis::Estimate> intercept, slope;
    if (fits.line) {
        intercept = analysis::Estimate{fits.line->intercept, fits.line->intercept_error};
        slope = analysis::Estimate{fits.line->slope, fits.line->slope_error};
    }
    add_row(QStringLiteral("初速度(cm/s)"), estimate_cells(intercept));
    add_row(QStringLiteral("加速度(cm/s²)"), estimate_cells(slope));
    add_row(QStringLiteral("r²"),
        {fits.line && fits.line->r_squared ? QString::number(*fits.line->r_squared, 'f', 6) : QString()});
    std::optional<analysis::Estimate> position;
    if (fits.position_fit)
        position = analysis::Estimate{fits.position_fit->acceleration, fits.position_fit->acceleration_error};
    add_row(QStringLiteral("位置の当てはめの加速度(cm/s²)"), estimate_cells(position));
    add_row(QStringLiteral("面積(cm)"), estimate_cells(fits.area));
    add_row(QStringLiteral("距離の差(cm)"), estimate_cells(fits.rise));
    add_row(
        QStringLiteral("接線の時刻(s)"), {inspected.tangent_time ? seconds_text(*inspected.tangent_time) : QString()});
    add_row(QStringLiteral("接線の傾き(cm/s)"), estimate_cells(inspected.tangent));
    return rows.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
