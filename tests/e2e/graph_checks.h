// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Judging the motion graph on the screen: discs against where they should stand, discs against
// their places before a change of scale, the fitted line read back as a velocity and an
// acceleration, and the printed results read back as numbers. Each check returns what it found
// wrong, in words, or an empty text.

#include "cart_model.h"
#include "picture_analysis.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QString>

#include <functional>
#include <vector>

namespace e2e {

// The values that graph pixels stand for at the given zoom (scale 1: 800 pixels per second from
// x = 50, 33 pixels per 20 cm/s up from y = 390).
double time_at(double x, double x_zoom);
double velocity_at(double y, double y_zoom);
// Where the velocity disc of (seconds, cm/s) is centred on the first graph (scale 1).
Disc velocity_disc_at(double seconds, double cm_per_s);

struct Fit {
    double acceleration = 0;      // cm/s^2
    double initial_velocity = 0;  // cm/s
};

// The least-squares line through the velocity discs as they stand on the screen.
Fit fit_of_discs(const std::vector<Disc> &discs, double x_zoom, double y_zoom);

// Discs found on the screen against the expected ones.
QString compare_with_expected(const std::vector<Disc> &found, const std::vector<ExpectedDisc> &expected);

// `after` against the discs of `before` moved by `move` (a change of scale about the origin
// (50, 390)): those the move takes out of the plot box are gone, and so is every later one, since a
// plot ends at its first point outside.
QString compare_moved(
    const std::vector<Disc> &before, const std::vector<Disc> &after, const std::function<Disc(const Disc &)> &move);

// The fitted velocity line as drawn: single blue pixels off the discs, read back at the given zoom.
struct FittedLine {
    Fit fit;
    int dots = 0;
    double worst_residual = 0;  // pixels from a straight line
    int left = 0;               // x of the first and last dot
    int right = 0;
};
FittedLine read_fitted_line(const QImage &picture, const std::vector<Disc> &velocity_discs,
    const std::vector<Disc> &distance_discs, double x_zoom, double y_zoom);

// Text as the window would set it, dark on white.
QImage render_text(const QString &text, const QFont &font = QGuiApplication::font());

// The results as the graph prints them: "###cm/s" (a whole number, nothing for 0) and "###.#cm/ss"
// (one decimal, a zero decimal left out but the point kept), rounded half away from zero.
QString printed_velocity(double cm_per_s);
QString printed_acceleration(double cm_per_s2);

struct PrintedNumber {
    double value = 0;
    double likeness = 0;  // 1 when the ink matches exactly
};

// Reads a number printed on the picture in `area` by setting each candidate from `from` to `to`
// as the graph would and keeping the one whose ink matches best.
PrintedNumber read_printed_number(
    const QImage &area, double from, double to, double step, const std::function<QString(double)> &format);

}  // namespace e2e
