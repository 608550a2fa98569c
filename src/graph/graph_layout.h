// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Where the motion graph puts its tick labels and its points, as pure functions of the scale
// factors and the section tables. Nothing here paints; the renderer and the tests share them.
//
// Picture coordinates: pixels, origin at the top left, y downward. The plot box spans x = 50..610
// (0 to 0.7 s at scale 1) and y = 390..60 (0 to 200 cm/s, or 0 to 30 cm, at scale 1).

#include <cstdint>
#include <string>
#include <vector>

namespace graph {

// The plot box in picture pixels, and its grid at scale 1: a time tick of 0.1 s every 80 pixels, a
// value tick of 20 cm/s (velocity) or 3 cm (distance) every 33 pixels.
inline constexpr std::int32_t kBoxLeft = 50;
inline constexpr std::int32_t kBoxTop = 60;
inline constexpr std::int32_t kBoxRight = 610;
inline constexpr std::int32_t kBoxBottom = 390;
inline constexpr std::int32_t kPixelsPerTimeTick = 80;
inline constexpr double kSecondsPerTimeTick = 0.1;
inline constexpr std::int32_t kPixelsPerValueTick = 33;
inline constexpr std::int32_t kVelocityPerTick = 20;  // cm/s
inline constexpr std::int32_t kDistancePerTick = 3;   // cm

// Zoomed: the labels of every redraw, following the scale factors ("0.000" and "##0.00").
// FirstDraw: the labels of the graph command's first drawing at scale 1 ("0.0" and "###").
enum class LabelStyle { Zoomed, FirstDraw };

struct TickLabel {
    double x;  // top-left corner of the text
    double y;
    std::string text;  // UTF-8
    int colour;        // palette index
};

// The 30 tick labels in drawing order:
//  - 8 time labels, i = 0..7, black, at (44 + 80 i, 400): zoomed (0.1 i) / x_scale as "0.000",
//    first-draw 0.1 i as "0.0";
//  - 11 velocity labels, j = 0..10, blue, at (15, 385 - 33 j) zoomed and (26, 385 - 33 j)
//    first-draw: (20 j) / y_scale as "##0.00", or 20 j as "###";
//  - 11 distance labels, j = 0..10, red, at (615, 385 - 33 j): (3 j) / y_scale as "##0.00", or
//    3 j as "###".
// "###" of 0 is the empty text, so the first drawing leaves both zero ticks unlabelled. The scale
// factors are used only by the zoomed labels.
std::vector<TickLabel> tick_labels(LabelStyle style, float x_scale, float y_scale);

// The range of the zoom factors. Within it every zoomed label still says something: the labels of
// neighbouring ticks differ, and each still fits in the room beside the plot box.
//  - Time labels, "0.000", 0.1 s a tick at scale 1: at 64 a tick is 0.0016 s and the labels read
//    0.000, 0.002, 0.003, 0.005, ...; at 128 two neighbours would both read 0.002. Zooming out only
//    lengthens them: at 1/1024 the last one reads 716.800, which still fits the 56 pixels between
//    its place and the picture's right edge; beyond that a measurement of at most 10 s is a speck.
//  - Velocity ("##0.00", 20 cm/s a tick) and distance (3 cm a tick) labels: at 256 a distance tick
//    is 0.0117 cm and the labels read 0.00, 0.01, 0.02, 0.04, ...; at 512 two would read 0.01. At
//    1/4 the top velocity label reads 800.00, as wide as the 200.00 of scale 1; at 1/8 it would
//    read 1600.00 and run a digit further into the box.
inline constexpr float kLargestXZoom = 64.0f;
inline constexpr float kSmallestXZoom = 1.0f / 1024.0f;
inline constexpr float kLargestYZoom = 256.0f;
inline constexpr float kSmallestYZoom = 1.0f / 4.0f;

// Centre of the velocity disc of a section with its mid-time in s: (t x 80 / 0.1) x x_scale + 50.
float velocity_disc_x(float sect_time, float x_scale);
// Centre of the velocity disc of a section with its velocity in cm/s: 390 - (v x 33 / 20) x y_scale.
float velocity_disc_y(float velocity, float y_scale);
// Centre of the distance disc of a boundary `index_difference` samples after boundary 0:
// (index_difference / sample_rate x 80 / 0.1) x x_scale + 50.
float distance_disc_x(std::int32_t index_difference, float sample_rate, float x_scale);
// The same for a boundary `time_s` after boundary 0, as the board's stamps time it.
float distance_disc_x(double time_s, float x_scale);
// Centre of the distance disc of boundary k, which lies k x section_length cm from boundary 0:
// 390 - (33 x (k x section_length) / 3) x y_scale.
float distance_disc_y(std::int32_t k, float section_length, float y_scale);
// Every coordinate above is computed in double precision in the order written and rounded to a
// 32-bit float, which is what the stop test below sees.

// The stop test of both plots: a point is drawn when x <= 610 and y >= 60. Only the right and top
// edges of the box count; NaN coordinates are outside.
bool inside_plot(float x, float y);

}  // namespace graph
