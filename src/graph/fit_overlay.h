// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The fitted line over the motion graph: the initial velocity and the acceleration printed under
// the graph, the line v(t) = v0 + a t as blue dots and the distance s(t) = v0 t + a t^2 / 2 as red
// dots.

#include "graph/surface.h"

#include <cstdint>
#include <vector>

namespace graph {

struct OverlayDot {
    std::int32_t x;  // pixel
    std::int32_t y;
    int colour;  // palette index
};

// The dots of the two curves in drawing order. Time t runs as a 32-bit float from 0 while
// t <= 0.7 / x_zoom in steps of 0.001 / x_zoom (both rounded to floats once), so each curve gets
// one pass per step across the width of the plot box: 701 passes at every power-of-two zoom, x
// from 50 to 609. Each pass gives x = 50 + Int(t x 800 x x_zoom), then a blue dot at
// y = 390 - Int(v x 33 / 20 x y_zoom) and a red dot at y = 390 - Int(s x 33 / 3 x y_zoom), each
// only when its y is greater than 60 (nothing above the box; below it, dots are kept). Int is the
// floor; v (cm/s) and s (cm) are rounded to floats before they are mapped.
//
// A dot whose coordinates do not fit a 32-bit integer (an extreme y_zoom) is left out. An x_zoom
// that is not a positive finite number, or so small (below about 2e-39) that 0.7 / x_zoom is
// beyond the range of a float, gives no dots: the loop always ends.
std::vector<OverlayDot> fit_overlay_dots(float initial_velocity, float acceleration, float x_zoom, float y_zoom);

// Prints, in black, "初速度" at (8, 435) with the initial velocity as "###cm/s" at (50, 435) and
// "加速度" at (8, 450) with the acceleration as "###.#cm/ss" at (50, 450), then sets the pixels of
// fit_overlay_dots. Draws over the picture without clearing it; leaves the text colour black.
void draw_fit(Surface &surface, float initial_velocity, float acceleration, float x_zoom, float y_zoom);

}  // namespace graph
