// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "graph_results.h"

#include "acquisition/run_priority.h"
#include "analysis/sections.h"
#include "analysis/span_fits.h"
#include "common/number_format.h"
#include "converter/board_converter.h"
#include "graph/draw_graph.h"
#include "messages.h"
#include "storage/csv_layout.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

// A value rounded as `pattern` rounds it, without the minus of a value that rounds to zero.
QString plain_number(double value, const std::string &pattern)
{
    QString text = QString::fromStdString(common::format_number(value, pattern));
    if (text.startsWith(QLatin1Char('-'))
        && text.count(QLatin1Char('0')) + text.count(QLatin1Char('.')) + 1 == text.size())
        text.remove(0, 1);
    return text;
}

std::string decimals_pattern(int decimals) { return decimals > 0 ? "0." + std::string(decimals, '0') : "0"; }

bool contains(const std::vector<std::int32_t> &sections, std::int32_t k)
{
    return std::binary_search(sections.begin(), sections.end(), k);
}

}  // namespace

GraphResults results_of_graph(const common::MeasurementState &state, const analysis::StripAnalysis *strip)
{
    GraphResults results;
    results.sections = strip ? std::max(0, strip->sections) : 0;
    // The edges over the graph's whole time axis, and at least under the line's points: a point
    // thrown off the graph by a bounce ends the line there, but no edge after it is lost.
    const std::int32_t line_points = std::max(0, state.plotted_sections);
    const analysis::SpanFits fits = analysis::fit_span(state, strip, state.plotted_sections,
        std::max(line_points, graph::boundaries_on_time_axis(state, state.x_zoom)));
    results.line_points = fits.line_points;
    results.line = fits.line;
    if (results.line) {
        results.initial_velocity_text
            = QString::fromStdString(common::initial_velocity_text(results.line->initial_velocity));
        results.acceleration_text = QString::fromStdString(common::acceleration_text(results.line->acceleration));
        results.statistics = fits.statistics;
    }
    results.position_boundaries = fits.position_boundaries;
    results.position_fit = fits.position_fit;
    results.position_refusal = fits.position_refusal;
    return results;
}

FirstGraph first_graph(std::unique_ptr<common::MeasurementState> state, std::int16_t holes)
{
    // As the window does: the holes per section, グラフ with the first drawing at scale 1 (which
    // decides the points on the graph), then 最小２乗法.
    FirstGraph graph;
    analysis::begin_graph(*state, holes);
    analysis::analyse_sections(*state);
    graph.strip = analysis::analyse_strip(*state);
    state->plotted_sections = graph::sections_on_graph(*state, state->x_zoom, state->y_zoom);
    state->fit_shown = true;
    graph.results = results_of_graph(*state, &graph.strip);
    graph.state = std::move(state);
    return graph;
}

RoundedValue rounded_with_error(double value, const std::optional<double> &error)
{
    // Two significant digits of the error; an error below 0.0001 (a fit through exact points)
    // still shows four decimals.
    int decimals = 2;
    if (error && std::isfinite(*error))
        decimals = std::clamp(1 - static_cast<int>(std::floor(std::log10(std::max(*error, 1e-5)))), 0, 4);
    const std::string pattern = decimals_pattern(decimals);
    return {plain_number(value, pattern), error ? plain_number(*error, pattern) : QString()};
}

QString value_with_error(double value, const std::optional<double> &error, const QString &unit)
{
    const RoundedValue rounded = rounded_with_error(value, error);
    const QString plus_minus = rounded.error.isEmpty() ? QString() : QStringLiteral(" ± %1").arg(rounded.error);
    return QStringLiteral("%1%2 %3").arg(rounded.value, plus_minus, unit);
}

QStringList section_texts(const common::MeasurementState &state, std::int32_t k)
{
    const auto entry = static_cast<std::size_t>(k);
    if (k < 1 || entry >= state.sect_time.size() || entry >= state.sect_dt.size()
        || entry >= state.sect_velocity.size())
        return {QString::number(k), {}, {}, {}};
    return {QString::number(k), plain_number(state.sect_time[entry], "0.0000"),
        plain_number(state.sect_dt[entry], "0.000"), plain_number(state.sect_velocity[entry], "0.00")};
}

QString section_finding(const analysis::StripCheck &check, std::int32_t k)
{
    QStringList words;
    if (contains(check.missed_hole_sections, k))
        words << QStringLiteral("穴の読み落とし");
    if (contains(check.extra_edge_sections, k))
        words << QStringLiteral("縁の二重読み");
    if (contains(check.coarse_period_sections, k))
        words << QStringLiteral("周期の限界");
    if (contains(check.torn_hole_sections, k))
        words << QStringLiteral("穴の欠け");
    if (check.turn_section == k)
        words << QStringLiteral("折り返し");
    return words.join(QStringLiteral("、"));
}

QStringList section_columns() { return storage::layout::kSectionColumns + QStringList{QStringLiteral("点検")}; }

QString position_fit_text(const GraphResults &results)
{
    const std::optional<analysis::PositionFit> &fit = results.position_fit;
    if (!fit)
        return messages::position_fit_refused(results.position_refusal);
    const QString edges = fit->before_turn ? QStringLiteral("（台車が止まるか向きを変える前の縁 %1 個）")
                                           : QStringLiteral("（縁 %1 個）");
    return QStringLiteral("初速度 %1　加速度 %2　r² %3　%4")
        .arg(value_with_error(fit->initial_velocity, fit->initial_velocity_error, QStringLiteral("cm/s")),
            value_with_error(fit->acceleration, fit->acceleration_error, QStringLiteral("cm/s²")),
            plain_number(fit->r_squared, "0.000000"), edges.arg(fit->edges));
}

QString strip_findings_text(const analysis::StripCheck &check)
{
    return check.found_something() ? messages::strip_check_found(check) : messages::strip_check_clean();
}

bool board_clock_uncorrected(const QStringList &source)
{
    if (source.value(0) != converter::kBoardSourceKind)
        return false;
    const qsizetype at = source.indexOf(converter::kBoardClockKey);
    return at >= 0 && source.value(at + 1) == converter::kBoardClockNone;
}

QStringList edge_stamp_findings(const common::EdgeStamps &stamps, std::size_t pulses)
{
    QStringList findings;
    if (!stamps.stamped)
        return findings;
    if (stamps.edges.empty() && pulses > 0)
        findings << messages::board_edges_unwired();
    if (stamps.lost)
        findings << messages::board_edges_lost();
    if (stamps.refused > 0)
        findings << messages::board_edges_refused(stamps.refused);
    return findings;
}

std::optional<QString> run_priority_text(const QStringList &source)
{
    const qsizetype at = source.indexOf(acquisition::kPriorityKey);
    if (at < 0 || at + 1 >= source.size())
        return std::nullopt;
    return acquisition::kPriorityKey + QStringLiteral("：") + source.at(at + 1);
}

QString results_as_tab_separated(const common::MeasurementState &state, const analysis::StripAnalysis &strip)
{
    const GraphResults results = results_of_graph(state, &strip);
    QStringList rows;
    auto add_row = [&](const QStringList &cells) { rows << cells.join(QLatin1Char('\t')); };
    add_row(section_columns());
    for (std::int32_t k = 1; k <= results.sections; ++k)
        add_row(section_texts(state, k) << section_finding(strip.check, k));

    add_row({});
    add_row({QString(), QStringLiteral("初速度(cm/s)"), QStringLiteral("標準誤差"), QStringLiteral("加速度(cm/s²)"),
        QStringLiteral("標準誤差"), QStringLiteral("r²"), QStringLiteral("点・縁の数"), QStringLiteral("備考")});
    if (results.line)
        add_row({QStringLiteral("最小２乗法"), plain_number(results.line->initial_velocity, "0"), QString(),
            plain_number(results.line->acceleration, "0.0"), QString(), QString(),
            QString::number(results.line_points)});
    if (const std::optional<analysis::PositionFit> &fit = results.position_fit) {
        const RoundedValue initial_velocity = rounded_with_error(fit->initial_velocity, fit->initial_velocity_error);
        const RoundedValue acceleration = rounded_with_error(fit->acceleration, fit->acceleration_error);
        QStringList cells
            = {QStringLiteral("位置の当てはめ"), initial_velocity.value, initial_velocity.error, acceleration.value,
                acceleration.error, plain_number(fit->r_squared, "0.000000"), QString::number(fit->edges)};
        if (fit->before_turn)
            cells << QStringLiteral("台車が止まるか向きを変える前の縁だけ");
        add_row(cells);
    } else {
        add_row({QStringLiteral("位置の当てはめ"), QString(), QString(), QString(), QString(), QString(), QString(),
            messages::position_fit_refused(results.position_refusal)});
    }
    add_row({});
    add_row({QStringLiteral("テープの点検"), strip_findings_text(strip.check)});
    return rows.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
