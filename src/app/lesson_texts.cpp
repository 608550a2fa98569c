// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lesson_texts.h"

#include "common/number_format.h"
#include "graph_results.h"
#include "messages.h"

#include <algorithm>

namespace {

QString plain(double value, const char *pattern)
{
    return QString::fromStdString(common::format_number(value, pattern));
}

QString value_text(const std::optional<double> &value) { return value ? QString::number(*value, 'g', 12) : QString(); }

// What the strip check found anywhere in a run, in a few words; what it found in sections that
// readings which came late spoiled is the computer's pause, not the strip's.
QString findings(const analysis::StripCheck &check, bool late, const std::vector<std::int32_t> &spoiled)
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
    if (check.turn_section && !std::binary_search(spoiled.begin(), spoiled.end(), *check.turn_section))
        words << QStringLiteral("折り返し");
    if (!spoiled.empty()) {
        QStringList sections;
        for (const std::int32_t k : spoiled)
            sections << QString::number(k);
        words << QStringLiteral("読み取りの遅れ（区間 %1 は除外）").arg(sections.join(QStringLiteral("、")));
    } else if (late) {
        words << QStringLiteral("読み取りの遅れ");
    }
    return words.join(QStringLiteral("、"));
}

}  // namespace

QString range_text(const std::optional<common::TimeRange> &range)
{
    if (!range)
        return {};
    return plain(range->start_s, "0.000") + QStringLiteral("–") + plain(range->end_s, "0.000");
}

QStringList lesson_column_names()
{
    return {QStringLiteral("回"), QStringLiteral("班"), QStringLiteral("メモ"), QStringLiteral("条件の値"),
        QStringLiteral("穴数"), QStringLiteral("範囲(s)"), QStringLiteral("初速度(cm/s)"),
        QStringLiteral("加速度(cm/s²)"), QStringLiteral("位置の当てはめの加速度(cm/s²)"),
        QStringLiteral("標準誤差(cm/s²)"), QStringLiteral("r²"), QStringLiteral("点検")};
}

QStringList lesson_cells(const Lesson &lesson, std::size_t k)
{
    const LessonRun &run = lesson.runs()[k];
    const LessonRow &result = lesson.row(k);
    QStringList cells = {QString::number(k + 1), run.group, run.memo, value_text(run.value), QString::number(run.holes),
        range_text(run.range)};
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
    cells << findings(result.check, result.late, result.spoiled_sections);
    return cells;
}

std::vector<QStringList> lesson_copy_rows(const Lesson &lesson)
{
    std::vector<QStringList> rows;
    rows.push_back({lesson.condition_name(), lesson.unit()});
    rows.push_back(lesson_column_names());
    for (std::size_t k = 0; k < lesson.runs().size(); ++k)
        rows.push_back(lesson_cells(lesson, k));
    rows.push_back({});
    const LessonLaw law = lesson.law();
    if (const std::optional<analysis::LessonLine> &line = law.line) {
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
    rows.push_back({QStringLiteral("横軸"), lesson.inverse() ? QStringLiteral("1/x") : QStringLiteral("x")});
    rows.push_back(
        {QStringLiteral("原点を通る"), lesson.through_origin() ? QStringLiteral("はい") : QStringLiteral("いいえ")});
    return rows;
}

QString law_note(const LessonLaw &law)
{
    QStringList notes;
    for (const auto &[why, runs] : law.left_out) {
        QStringList numbers;
        for (const std::size_t k : runs)
            numbers << QString::number(k + 1);
        notes << messages::law_leaves_out(why, numbers.join(QStringLiteral("、")));
    }
    if (law.gap != LawGap::None)
        notes << messages::law_has_no_line(law.gap);
    return notes.join(QLatin1Char(' '));
}

QString keeper_notes_text(const std::vector<KeeperNote> &notes)
{
    QStringList lines;
    for (const KeeperNote &note : notes)
        lines << messages::keeper_note(note);
    return lines.join(QLatin1Char('\n'));
}
