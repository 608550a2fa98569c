// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The lesson's two pictures: the law (each run's acceleration against the value the class changed,
// with a bar of its standard error, and the line through them), and the family of every run's
// velocity points with its own line, each run in a colour and a mark of its own.

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

#include <cstddef>
#include <optional>
#include <vector>

namespace graph {

struct LawPoint {
    double x = 0;
    double y = 0;
    double error = 0;
    std::size_t run = 0;  // its colour
};

struct LawPicture {
    std::vector<LawPoint> points;
    std::optional<double> slope;  // the line y = intercept + slope x, when there is one
    double intercept = 0;
    QString x_label;
    QString y_label;
};

struct RunPoints {
    std::vector<float> times;               // s
    std::vector<float> velocities;          // cm/s
    std::optional<float> initial_velocity;  // the run's line, when it has one
    float acceleration = 0;
    std::size_t run = 0;
};

// Colours that stay apart for the common kinds of colour blindness, in the order runs take them;
// past the eighth the colours come round again and the marks tell the runs apart.
QColor run_colour(std::size_t run);

QImage draw_law(const LawPicture &picture, QSize size);
QImage draw_family(const std::vector<RunPoints> &runs, QSize size);

// A round step for an axis that spans `range` in about `ticks` steps: 1, 2 or 5 times a power of 10.
double tick_step(double range, int ticks);

}  // namespace graph
