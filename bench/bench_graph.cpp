// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "bench_parts.h"

#include "accuracy_run.h"

#include "analysis/least_squares.h"
#include "analysis/position_fit.h"
#include "analysis/sections.h"
#include "analysis/strip_check.h"
#include "common/measurement_plan.h"
#include "common/measurement_state.h"
#include "graph/draw_graph.h"
#include "graph/fit_overlay.h"
#include "graph/surface.h"

#include <cstdint>
#include <optional>

namespace bench {
namespace {

constexpr std::int16_t kDark = 20;
constexpr std::int16_t kLight = 230;
constexpr int kLightSamples = 8;

// The largest recording the settings allow, 10 s at 1 ms, with a hole every 20 to 30 samples: a
// few hundred sections, where the simulated 60 cm strip would give fewer than fifty.
void record_square_wave(common::MeasurementState &state)
{
    common::start_measurement(state, 1, 10);
    std::int32_t i = 40;
    for (int hole = 0; i <= state.last_sample; ++hole) {
        const int spacing = 20 + (hole * 7) % 11;
        for (int j = 0; j < spacing && i <= state.last_sample; ++j, ++i)
            state.samples[static_cast<std::size_t>(i)] = j < kLightSamples ? kLight : kDark;
    }
}

// The analysis of グラフ: the sections and the strip check.
analysis::StripAnalysis analyse(common::MeasurementState &state)
{
    analysis::begin_graph(state, 1);
    analysis::analyse_sections(state);
    return analysis::analyse_strip(state);
}

// The position fit over the points the drawing left in the box; the edges it used, 0 for none.
std::int32_t fit_positions(const analysis::StripAnalysis &strip, const common::MeasurementState &state)
{
    const std::optional<analysis::PositionFit> fit = window_position_fit(strip, state, state.x_zoom);
    return fit ? fit->edges : 0;
}

void draw_first(graph::Surface &surface, common::MeasurementState &state)
{
    graph::draw_graph(surface, state, state.x_zoom, state.y_zoom, graph::LabelStyle::FirstDraw);
    surface.image();
}

// One press of 横拡大 with the fit shown: the zoomed redraw, the fit over the points still in the
// box and its overlay.
void redraw_zoomed(graph::Surface &surface, common::MeasurementState &state)
{
    state.x_zoom = 2.0f;
    graph::draw_graph(surface, state, state.x_zoom, state.y_zoom);
    const std::optional<analysis::LineFit> fit
        = analysis::fit_velocity_line(state.sect_time, state.sect_velocity, state.plotted_sections);
    if (fit)
        graph::draw_fit(surface, fit->initial_velocity, fit->acceleration, state.x_zoom, state.y_zoom);
    surface.image();
}

}  // namespace

void run_graph_bench(const Options &options)
{
    const int repetitions = options.quick ? 20 : 200;
    common::MeasurementState state;
    record_square_wave(state);
    graph::Surface surface(660, 480);

    // The first round pays for loading the font and building the glyph cache; it is shown apart.
    analysis::StripAnalysis strip;
    std::int32_t fit_edges = 0;
    const double cold_analysis = time_each_ms(1, [&] { strip = analyse(state); }).front();
    const double cold_first = time_each_ms(1, [&] { draw_first(surface, state); }).front();
    const double cold_fit = time_each_ms(1, [&] { fit_edges = fit_positions(strip, state); }).front();
    const double cold_zoom = time_each_ms(1, [&] { redraw_zoomed(surface, state); }).front();

    std::vector<double> analysis_ms, first_ms, fit_ms, total_ms, zoom_ms;
    for (int i = 0; i < repetitions; ++i) {
        analysis_ms.push_back(time_each_ms(1, [&] { strip = analyse(state); }).front());
        first_ms.push_back(time_each_ms(1, [&] { draw_first(surface, state); }).front());
        fit_ms.push_back(time_each_ms(1, [&] { fit_edges = fit_positions(strip, state); }).front());
        total_ms.push_back(analysis_ms.back() + first_ms.back() + fit_ms.back());
        zoom_ms.push_back(time_each_ms(1, [&] { redraw_zoomed(surface, state); }).front());
    }

    Table table("3. グラフ and one zoom redraw on a 10 s recording at 1 ms (" + std::to_string(state.last_sample + 1)
            + " samples, " + std::to_string(state.edge_count) + " sections)",
        {"step", "median ms", "max ms", "first call ms", "target", "result"});
    table.add_row({"analysis (begin_graph + analyse_sections + analyse_strip)", fixed(median(analysis_ms), 3),
        fixed(maximum(analysis_ms), 3), fixed(cold_analysis, 3), "", ""});
    table.add_row({"first drawing (draw_graph FirstDraw)", fixed(median(first_ms), 3), fixed(maximum(first_ms), 3),
        fixed(cold_first, 3), "", ""});
    table.add_row({"position fit (fit_positions)", fixed(median(fit_ms), 3), fixed(maximum(fit_ms), 3),
        fixed(cold_fit, 3), "", ""});
    table.add_row({"グラフ: analysis, check, first drawing and fit", fixed(median(total_ms), 3),
        fixed(maximum(total_ms), 3), fixed(cold_analysis + cold_first + cold_fit, 3), "≤ 10 ms",
        verdict(fit_edges > 0 && median(total_ms) <= 10.0)});
    table.add_row({"zoom redraw (draw_graph + fit + draw_fit)", fixed(median(zoom_ms), 3), fixed(maximum(zoom_ms), 3),
        fixed(cold_zoom, 3), "≤ 5 ms", verdict(median(zoom_ms) <= 5.0)});
    table.add_note(std::to_string(repetitions) + " repetitions on a 660 x 480 surface; "
        + std::to_string(state.plotted_sections) + " velocity points inside the box after the zoom; the strip check "
        + "saw " + std::to_string(strip.pulses.size()) + " falling edges and the position fit used "
        + std::to_string(fit_edges) + " edges for the first drawing's points.");
    table.print();
}

}  // namespace bench
