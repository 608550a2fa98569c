// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The lesson window's two graphs, drawn by the plotting library: the law (each run's acceleration
// against the value the class changed, with a bar of its standard error, and the line through
// them), and the family of every run's velocity points with its own line, each run in a colour and
// a mark of its own. Both axes start at 0 (or below it, for values below it).

#include <qcustomplot.h>

#include <QColor>
#include <QString>

#include <cstddef>
#include <optional>
#include <vector>

// Colours that stay apart for the common kinds of colour blindness, in the order runs take them;
// past the eighth the colours come round again and the marks tell the runs apart.
QColor run_colour(std::size_t run);
// The mark of the points of run `run` in its colour: a disc for the first eight runs, then a
// square, a triangle and a diamond.
QCPScatterStyle run_mark(std::size_t run);

struct LawPoint {
    double x = 0;         // the condition's value, or its inverse
    double y = 0;         // the run's acceleration, cm/s²
    double error = 0;     // its standard error, cm/s²
    std::size_t run = 0;  // its colour and mark
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
    float acceleration = 0;                 // cm/s²
    std::size_t run = 0;                    // its colour and mark
};

class LawPlot : public QCustomPlot {
    Q_OBJECT

public:
    explicit LawPlot(QWidget *parent = nullptr);

    // The points of each colour as one graph with its bars, and the line over the x the points
    // span; the view back to the whole of them.
    void show_law(const LawPicture &picture);
    // The line's graph, two points at its ends; none without a line.
    QCPGraph *line() const { return line_; }

private:
    QCPGraph *line_ = nullptr;
};

class FamilyPlot : public QCustomPlot {
    Q_OBJECT

public:
    explicit FamilyPlot(QWidget *parent = nullptr);

    // Each run's points as a graph of their own, and its line, when it has one, over the times of
    // its points; the view back to the whole of them.
    void show_runs(const std::vector<RunPoints> &runs);
};
