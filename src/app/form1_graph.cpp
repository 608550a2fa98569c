// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The window's graph commands: グラフ, 最小２乗法, the zoom buttons and 元のグラフ.

#include "form1.h"

#include "analysis/holes_text.h"
#include "analysis/late_readings.h"
#include "common/numeric.h"
#include "graph/draw_graph.h"
#include "graph/fit_overlay.h"
#include "messages.h"

#include <QLineEdit>
#include <QScrollBar>

void Form1::Cmd_graph_click()
{
    // A graph during 計測 is drawn from the readings taken so far.
    if (measuring_)
        take_recorded_readings();
    common::MeasurementState &state = document_.state;
    // Sections are counted in whole holes: a text that is not a whole number from 1 up would leave
    // the grouping of the edges nothing sensible to divide by, so it changes nothing at all.
    const std::optional<std::int16_t> holes = analysis::parse_holes_per_section(Text3->text().toStdString());
    if (!holes) {
        show_message(messages::holes_per_section_refused());
        return;
    }
    // A whole number the bar can hold moves the bar too, so that its next step starts from there.
    const std::optional<std::int32_t> whole = analysis::parse_whole_number(Text3->text().toStdString());
    if (whole && *whole == *holes && *holes >= HScroll3->minimum() && *holes <= HScroll3->maximum())
        HScroll3->setValue(*holes);
    const std::int32_t edges = document_.analyse(*holes, measuring_);
    set_scale_buttons_enabled(true);
    if (!state.measured) {
        show_message(messages::measure_first());
        return;
    }
    graph::draw_graph(picture(), state, state.x_zoom, state.y_zoom, graph::LabelStyle::FirstDraw);
    emit document_.graph_changed();
    if (edges == 0) {
        show_message(messages::no_hole_edges());
        return;
    }
    if (!document_.strip_analysis)
        return;
    // Sections whose readings came late are told as the computer's pause, not as the cart's doing.
    const std::vector<std::int32_t> spoiled = analysis::spoiled_sections(state, document_.late_readings);
    if (document_.strip_analysis->check.found_something() || !spoiled.empty())
        show_message(messages::graph_findings(document_.strip_analysis->check, spoiled));
}

void Form1::Cmd_最小2乗法_click()
{
    document_.state.fit_shown = true;
    emit document_.graph_changed();
    least_squares();
}

void Form1::least_squares()
{
    const common::MeasurementState &state = document_.state;
    if (!state.measured || !state.graphed) {
        show_message(messages::graph_first());
        return;
    }
    // Fewer than two points, or points all at one time, have no line through them: the user is
    // told how to bring points into the box instead.
    const std::optional<analysis::LineFit> fit = document_.results().line;
    if (!fit) {
        show_message(messages::fit_needs_two_points());
        return;
    }
    graph::draw_fit(picture(), fit->initial_velocity, fit->acceleration, state.x_zoom, state.y_zoom);
}

void Form1::redraw_zoomed()
{
    common::MeasurementState &state = document_.state;
    graph::draw_graph(picture(), state, state.x_zoom, state.y_zoom);
    // The results follow before a message about the fit holds the window.
    emit document_.graph_changed();
    if (state.fit_shown)
        least_squares();
}

void Form1::change_zoom(float &factor, float by, float smallest, float largest)
{
    // The factors stay powers of two within bounds where every label still means something; a
    // press that would pass a bound changes nothing.
    const float changed = common::to_single(static_cast<double>(factor) * by);
    if (!(changed >= smallest && changed <= largest))
        return;
    factor = changed;
    redraw_zoomed();
}

void Form1::Cmd_tate_large_click()
{
    change_zoom(document_.state.y_zoom, 2.0f, graph::kSmallestYZoom, graph::kLargestYZoom);
}

void Form1::Cmd_tate_small_click()
{
    change_zoom(document_.state.y_zoom, 0.5f, graph::kSmallestYZoom, graph::kLargestYZoom);
}

void Form1::Cmd_yoko_large_click()
{
    change_zoom(document_.state.x_zoom, 2.0f, graph::kSmallestXZoom, graph::kLargestXZoom);
}

void Form1::Cmd_yoko_small_click()
{
    change_zoom(document_.state.x_zoom, 0.5f, graph::kSmallestXZoom, graph::kLargestXZoom);
}

void Form1::Cmd_hukugen_click()
{
    common::MeasurementState &state = document_.state;
    state.x_zoom = 1.0f;
    state.y_zoom = 1.0f;
    graph::draw_graph(picture(), state, state.x_zoom, state.y_zoom);
    state.fit_shown = false;
    emit document_.graph_changed();
}
