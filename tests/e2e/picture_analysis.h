// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Reading a screenshot of the window the way a person reads the graph: which discs stand where,
// where the single-pixel fit line runs, whether a trace or text is there. Everything here works on
// plain pixels; colours are exact on the 24-bit virtual display.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRgb>
#include <QString>

#include <vector>

namespace e2e {

constexpr QRgb kBlue = 0xff0000ff;
constexpr QRgb kRed = 0xffff0000;
constexpr QRgb kWhite = 0xffffffff;

// Picture1 stands at (112, 40) in the window with a 2-pixel sunken border; its drawing area, the
// origin of picture coordinates, starts inside that border.
constexpr QPoint kPictureOrigin{114, 42};
constexpr int kPictureVisibleWidth = 656;
constexpr int kPictureVisibleHeight = 476;

// The part of a window screenshot that shows the drawing area, in picture coordinates.
QImage picture_area(const QImage &window);

// The plot box of the graph, with room for a disc of radius 3 on its edges.
QRect plot_region();
// The inside of the plot box, where only discs and the fitted curves are drawn in colour.
QRect plot_inside();

struct Disc {
    double x = 0;
    double y = 0;
};

// The filled discs of one colour (radius 3) in `region`, left to right, each given by its centre.
// A disc still counts when a single-pixel line of another colour crosses it.
std::vector<Disc> find_discs(const QImage &picture, QRgb colour, QRect region);

int count_pixels(const QImage &picture, QRgb colour, QRect region);
// Pixels of text colour: dark grey to black, as antialiased black text leaves them.
int count_dark_pixels(const QImage &picture, QRect region);
bool all_white(const QImage &picture);

// The pixels of `colour` in `region` that belong to no disc: the fitted curves.
std::vector<QPoint> pixels_off_discs(const QImage &picture, QRgb colour, QRect region, const std::vector<Disc> &discs_a,
    const std::vector<Disc> &discs_b);

struct LineFit {
    double slope = 0;  // pixels down per pixel right
    double intercept = 0;
    double worst_residual = 0;
};
// Least-squares line y = slope x + intercept through points (x, y).
LineFit fit_line(const std::vector<double> &x, const std::vector<double> &y);

// The raw trace: where red is, and how many separate pulses stand at the top level.
struct TraceShape {
    int red_pixels = 0;
    int top = 0;     // smallest y of a red pixel
    int bottom = 0;  // largest y
    int left = 0;
    int right = 0;
    int pulses = 0;  // runs of columns that reach the band of `high_band`
    int low_pixels = 0;
};
TraceShape trace_shape(const QImage &picture, int high_top, int high_bottom, int low_top, int low_bottom);

// How well the text in a screenshot matches `rendered` (dark text on a light ground): the best
// overlap of their dark pixels over every placement, 1 for identical ink.
double text_likeness(const QImage &shot, const QImage &rendered);

QString describe(const std::vector<Disc> &discs);

}  // namespace e2e
