// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "graph/draw_graph.h"

#include "common/palette.h"

#include <QString>

#include <algorithm>
#include <cstddef>

namespace graph {
namespace {

constexpr double kDiscRadius = 3;

void print_at(Surface &surface, double x, double y, const std::string &utf8_text)
{
    surface.move_to(x, y);
    surface.print(QString::fromStdString(utf8_text));
}

void print_labels(Surface &surface, const std::vector<TickLabel> &labels, std::size_t first, std::size_t count)
{
    for (std::size_t i = first; i < first + count; ++i)
        print_at(surface, labels[i].x, labels[i].y, labels[i].text);
}

void draw_velocity_discs(Surface &surface, common::MeasurementState &state, float x_scale, float y_scale)
{
    // The fit takes points 1..plotted_sections, so a drawing without any point must not leave the
    // count of an earlier one.
    state.plotted_sections = sections_on_graph(state, x_scale, y_scale);
    for (std::int32_t k = 1; k <= state.plotted_sections; ++k) {
        const auto section = static_cast<std::size_t>(k);
        surface.circle(velocity_disc_x(state.sect_time[section], x_scale),
            velocity_disc_y(state.sect_velocity[section], y_scale), kDiscRadius, common::kBrightBlue);
    }
}

// Where boundary k lies on the time axis: by the board's stamps where it stamped every boundary.
float boundary_x(const common::MeasurementState &state, std::int32_t k, float x_scale)
{
    const auto entry = static_cast<std::size_t>(k);
    if (entry < state.edge_time_s.size())
        return distance_disc_x(state.edge_time_s[entry], x_scale);
    return distance_disc_x(state.edge_index[entry] - state.edge_index[0], state.sample_rate, x_scale);
}

void draw_distance_discs(Surface &surface, const common::MeasurementState &state, float x_scale, float y_scale)
{
    // Before any measurement the rate is 0 and the boundaries have no time.
    if (!(state.sample_rate > 0))
        return;
    const std::vector<std::int32_t> &boundary = state.edge_index;
    for (std::int32_t k = 0; k <= state.edge_count && static_cast<std::size_t>(k) < boundary.size(); ++k) {
        const float x = boundary_x(state, k, x_scale);
        const float y = distance_disc_y(k, state.section_length, y_scale);
        if (!inside_plot(x, y))
            return;
        surface.circle(x, y, kDiscRadius, common::kBrightRed);
    }
}

}  // namespace

std::int32_t sections_on_graph(const common::MeasurementState &state, float x_scale, float y_scale)
{
    const std::size_t table_end = std::min(state.sect_time.size(), state.sect_velocity.size());
    std::int32_t on_graph = 0;
    for (std::int32_t k = 1; k <= state.edge_count && static_cast<std::size_t>(k) < table_end; ++k) {
        const auto section = static_cast<std::size_t>(k);
        if (!inside_plot(velocity_disc_x(state.sect_time[section], x_scale),
                velocity_disc_y(state.sect_velocity[section], y_scale)))
            break;
        on_graph = k;
    }
    return on_graph;
}

std::int32_t boundaries_on_time_axis(const common::MeasurementState &state, float x_scale)
{
    if (!(state.sample_rate > 0) || state.edge_index.empty())
        return 0;
    const std::vector<std::int32_t> &boundary = state.edge_index;
    std::int32_t last = 0;
    for (std::int32_t k = 1; k <= state.edge_count && static_cast<std::size_t>(k) < boundary.size(); ++k) {
        if (boundary_x(state, k, x_scale) > kBoxRight)
            break;
        last = k;
    }
    return last;
}

void draw_graph(Surface &surface, common::MeasurementState &state, float x_scale, float y_scale, LabelStyle style)
{
    const std::vector<TickLabel> labels = tick_labels(style, x_scale, y_scale);
    constexpr std::size_t kTimeLabels = 8;
    constexpr std::size_t kValueLabels = 11;

    surface.clear();
    surface.set_line_style(LineStyle::Solid);
    surface.set_fill_style(FillStyle::Transparent);
    surface.rectangle(kBoxLeft, kBoxTop, kBoxRight, kBoxBottom, common::kBlack);

    // The grid is dotted; the lines at the box edges are drawn over the solid outline.
    surface.set_line_style(LineStyle::Dotted);
    for (int i = 0; i <= 14; ++i)
        surface.line(kBoxLeft + kPixelsPerTimeTick / 2 * i, kBoxTop, kBoxLeft + kPixelsPerTimeTick / 2 * i, kBoxBottom,
            common::kBlack);
    surface.set_text_colour(common::kBlack);
    print_labels(surface, labels, 0, kTimeLabels);
    print_at(surface, 324, 420, "ｔ [s]");
    for (int j = 0; j <= 10; ++j)
        surface.line(
            kBoxLeft, kBoxTop + kPixelsPerValueTick * j, kBoxRight, kBoxTop + kPixelsPerValueTick * j, common::kBlack);

    surface.set_text_colour(common::kBrightBlue);
    print_labels(surface, labels, kTimeLabels, kValueLabels);
    print_at(surface, 15, 22, "ｖ[cm/s]");
    surface.set_text_colour(common::kBrightRed);
    print_labels(surface, labels, kTimeLabels + kValueLabels, kValueLabels);
    print_at(surface, 605, 22, "s [cm]");

    surface.set_line_style(LineStyle::Solid);
    surface.set_fill_style(FillStyle::Solid);
    surface.set_fill_colour(common::kBrightBlue);
    draw_velocity_discs(surface, state, x_scale, y_scale);
    surface.set_fill_style(FillStyle::Solid);
    surface.set_fill_colour(common::kBrightRed);
    draw_distance_discs(surface, state, x_scale, y_scale);
}

}  // namespace graph
