// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lesson_plots.h"

#include <algorithm>
#include <map>

namespace {

// Black, orange, sky blue, bluish green, yellow, blue, vermilion, reddish purple.
const QColor kRunColours[] = {QColor(0, 0, 0), QColor(230, 159, 0), QColor(86, 180, 233), QColor(0, 158, 115),
    QColor(240, 228, 66), QColor(0, 114, 178), QColor(213, 94, 0), QColor(204, 121, 167)};
constexpr std::size_t kYellow = 4;
constexpr double kLineWidth = 1.5;
constexpr double kWhiskerPixels = 8;

void prepare(QCustomPlot &plot)
{
    plot.setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot.axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    plot.axisRect()->setRangeZoom(Qt::Horizontal | Qt::Vertical);
}

// From 0 (or from below it, for values below it) to a little past the largest value.
void show_from_zero(QCPAxis *axis, double low, double high)
{
    low = std::min(0.0, low);
    high = std::max(0.0, high);
    if (!(high > low))
        high = low + 1;
    const double margin = (high - low) * 0.08;
    axis->setRange(low < 0 ? low - margin : low, high + margin);
}

}  // namespace

QColor run_colour(std::size_t run) { return kRunColours[run % std::size(kRunColours)]; }

QCPScatterStyle run_mark(std::size_t run)
{
    const QColor colour = run_colour(run);
    // The yellow on white needs a darker edge to be seen.
    const QPen edge(colour.darker(run % std::size(kRunColours) == kYellow ? 150 : 100), kLineWidth);
    switch ((run / std::size(kRunColours)) % 4) {
    case 0:
        return QCPScatterStyle(QCPScatterStyle::ssCircle, edge, colour, 8);
    case 1:
        return QCPScatterStyle(QCPScatterStyle::ssSquare, edge, colour, 8);
    case 2:
        return QCPScatterStyle(QCPScatterStyle::ssTriangle, edge, colour, 10);
    default:
        return QCPScatterStyle(QCPScatterStyle::ssDiamond, edge, colour, 10);
    }
}

LawPlot::LawPlot(QWidget *parent) : QCustomPlot(parent) { prepare(*this); }

void LawPlot::show_law(const LawPicture &picture)
{
    clearPlottables();
    line_ = nullptr;
    xAxis->setLabel(picture.x_label);
    yAxis->setLabel(picture.y_label);

    // A graph keeps its points in the order of x and its bars in the order of its points: each
    // colour's points go in already in that order.
    std::vector<LawPoint> points = picture.points;
    std::stable_sort(points.begin(), points.end(), [](const LawPoint &a, const LawPoint &b) { return a.x < b.x; });
    struct Coloured {
        QVector<double> x, y, error;
    };
    std::map<std::size_t, Coloured> by_colour;
    double x_low = 0, x_high = 0, y_low = 0, y_high = 0;
    for (const LawPoint &point : points) {
        Coloured &coloured = by_colour[point.run];
        coloured.x << point.x;
        coloured.y << point.y;
        coloured.error << point.error;
        x_low = std::min(x_low, point.x);
        x_high = std::max(x_high, point.x);
        y_low = std::min(y_low, point.y - point.error);
        y_high = std::max(y_high, point.y + point.error);
    }

    // The line first, under the points.
    if (picture.slope && !points.empty()) {
        const double from = points.front().x;
        const double to = points.back().x;
        line_ = addGraph();
        line_->setPen(QPen(Qt::black, kLineWidth));
        line_->setData(
            {from, to}, {picture.intercept + *picture.slope * from, picture.intercept + *picture.slope * to}, true);
    }
    for (const auto &[run, coloured] : by_colour) {
        // The bars before their points, so that the marks lie on top.
        auto *bars = new QCPErrorBars(xAxis, yAxis);
        QCPGraph *graph = addGraph();
        graph->setLineStyle(QCPGraph::lsNone);
        graph->setScatterStyle(run_mark(run));
        graph->setData(coloured.x, coloured.y, true);
        bars->setDataPlottable(graph);
        bars->setData(coloured.error);
        bars->setErrorType(QCPErrorBars::etValueError);
        bars->setPen(QPen(run_colour(run).darker(110), kLineWidth));
        bars->setWhiskerWidth(kWhiskerPixels);
        bars->setSymbolGap(0);
    }
    show_from_zero(xAxis, x_low, x_high);
    show_from_zero(yAxis, y_low, y_high);
    replot();
}

FamilyPlot::FamilyPlot(QWidget *parent) : QCustomPlot(parent)
{
    prepare(*this);
    xAxis->setLabel(QStringLiteral("時間 [s]"));
    yAxis->setLabel(QStringLiteral("速度 [cm/s]"));
}

void FamilyPlot::show_runs(const std::vector<RunPoints> &runs)
{
    clearPlottables();
    double t_high = 0, v_low = 0, v_high = 0;
    for (const RunPoints &run : runs) {
        QVector<double> times, velocities;
        for (std::size_t i = 0; i < run.times.size() && i < run.velocities.size(); ++i) {
            times << run.times[i];
            velocities << run.velocities[i];
            t_high = std::max(t_high, times.back());
            v_low = std::min(v_low, velocities.back());
            v_high = std::max(v_high, velocities.back());
        }
        if (times.isEmpty())
            continue;
        if (run.initial_velocity) {
            const auto [from, to] = std::minmax_element(times.cbegin(), times.cend());
            auto v = [&run](double t) { return *run.initial_velocity + run.acceleration * t; };
            QCPGraph *line = addGraph();
            line->setPen(QPen(run_colour(run.run), kLineWidth));
            line->setData({*from, *to}, {v(*from), v(*to)}, true);
        }
        QCPGraph *points = addGraph();
        points->setLineStyle(QCPGraph::lsNone);
        points->setScatterStyle(run_mark(run.run));
        points->setData(times, velocities);
    }
    show_from_zero(xAxis, 0, t_high);
    show_from_zero(yAxis, v_low, v_high);
    replot();
}
