// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "inspector_plot.h"

#include "analysis/span_fits.h"

namespace {

const QColor kPoints(0, 0, 160);
const QColor kFit(200, 0, 0);
const QColor kArea(200, 0, 0, 48);
const QColor kBand(255, 200, 0, 56);
const QColor kTangent(0, 130, 0);
constexpr int kCurvePoints = 200;

QCPItemRect *band_in(QCustomPlot *plot, QCPAxisRect *rect)
{
    auto *band = new QCPItemRect(plot);
    band->setClipAxisRect(rect);
    for (QCPItemPosition *corner : {band->topLeft, band->bottomRight}) {
        corner->setAxes(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
        corner->setAxisRect(rect);
        corner->setTypeX(QCPItemPosition::ptPlotCoords);
        corner->setTypeY(QCPItemPosition::ptAxisRectRatio);
    }
    band->topLeft->setCoords(0, 0);
    band->bottomRight->setCoords(0, 1);
    band->setPen(Qt::NoPen);
    band->setBrush(kBand);
    band->setVisible(false);
    return band;
}

QCPItemTracer *mark_on(QCustomPlot *plot, QCPAxisRect *rect)
{
    auto *mark = new QCPItemTracer(plot);
    mark->setClipAxisRect(rect);
    mark->setInterpolating(false);
    mark->setStyle(QCPItemTracer::tsCircle);
    mark->setSize(11);
    mark->setPen(QPen(Qt::black, 1.5));
    mark->setVisible(false);
    return mark;
}

}  // namespace

InspectorPlot::InspectorPlot(QWidget *parent) : QCustomPlot(parent)
{
    setObjectName(QStringLiteral("inspector_plot"));
    plotLayout()->clear();
    velocity_rect_ = new QCPAxisRect(this);
    position_rect_ = new QCPAxisRect(this);
    plotLayout()->addElement(0, 0, velocity_rect_);
    plotLayout()->addElement(1, 0, position_rect_);
    // The two plots keep their left edges together, so that one time stands at one column.
    auto *margins = new QCPMarginGroup(this);
    for (QCPAxisRect *rect : {velocity_rect_, position_rect_}) {
        rect->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
        rect->setRangeDrag(Qt::Horizontal | Qt::Vertical);
        rect->setRangeZoom(Qt::Horizontal | Qt::Vertical);
        rect->axis(QCPAxis::atBottom)->setLabel(QStringLiteral("時間 (s)"));
    }
    velocity_rect_->axis(QCPAxis::atLeft)->setLabel(QStringLiteral("速度 (cm/s)"));
    position_rect_->axis(QCPAxis::atLeft)->setLabel(QStringLiteral("距離 (cm)"));
    QCPAxis *top_time = velocity_rect_->axis(QCPAxis::atBottom);
    QCPAxis *bottom_time = position_rect_->axis(QCPAxis::atBottom);
    connect(top_time, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), bottom_time,
        qOverload<const QCPRange &>(&QCPAxis::setRange));
    connect(bottom_time, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), top_time,
        qOverload<const QCPRange &>(&QCPAxis::setRange));
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);

    auto graph_in
        = [this](QCPAxisRect *rect) { return addGraph(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft)); };
    area_ = graph_in(velocity_rect_);
    area_->setPen(Qt::NoPen);
    area_->setBrush(kArea);
    velocity_points_ = graph_in(velocity_rect_);
    position_points_ = graph_in(position_rect_);
    for (QCPGraph *points : {velocity_points_, position_points_}) {
        points->setLineStyle(QCPGraph::lsNone);
        points->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, kPoints, kPoints, 5));
    }
    line_ = graph_in(velocity_rect_);
    curve_ = graph_in(position_rect_);
    for (QCPGraph *fit : {line_, curve_})
        fit->setPen(QPen(kFit, 1.5));
    velocity_band_ = band_in(this, velocity_rect_);
    position_band_ = band_in(this, position_rect_);
    tangent_ = new QCPItemStraightLine(this);
    tangent_->setClipAxisRect(position_rect_);
    for (QCPItemPosition *point : {tangent_->point1, tangent_->point2})
        point->setAxes(bottom_time, position_rect_->axis(QCPAxis::atLeft));
    tangent_->setPen(QPen(kTangent, 1.5, Qt::DashLine));
    tangent_->setVisible(false);
    velocity_mark_ = mark_on(this, velocity_rect_);
    position_mark_ = mark_on(this, position_rect_);
}

void InspectorPlot::show_points(const common::MeasurementState *state)
{
    QVector<double> times, velocities, boundary_times, distances;
    if (state) {
        for (std::int32_t k = 1; k <= state->edge_count; ++k) {
            times << state->sect_time[static_cast<std::size_t>(k)];
            velocities << state->sect_velocity[static_cast<std::size_t>(k)];
        }
        for (std::int32_t j = 0; j <= state->edge_count; ++j) {
            boundary_times << analysis::boundary_time(*state, j);
            distances << boundary_distance(*state, j);
        }
    }
    velocity_points_->setData(times, velocities, true);
    position_points_->setData(boundary_times, distances, true);
}

void InspectorPlot::show_fits(const std::optional<InspectedRange> &inspected)
{
    line_->data()->clear();
    area_->data()->clear();
    curve_->data()->clear();
    for (QCPItemRect *band : {velocity_band_, position_band_})
        band->setVisible(inspected.has_value());
    tangent_->setVisible(false);
    if (!inspected)
        return;
    const analysis::RangeFits &fits = inspected->fits;
    const double start = fits.range.start_s;
    const double end = fits.range.end_s;
    for (QCPItemRect *band : {velocity_band_, position_band_}) {
        band->topLeft->setCoords(start, 0);
        band->bottomRight->setCoords(end, 1);
    }
    if (const std::optional<analysis::FitStatistics> &line = fits.line) {
        auto v = [&line](double t) { return line->intercept + line->slope * t; };
        line_->setData({start, end}, {v(start), v(end)}, true);
        area_->setData({start, end}, {v(start), v(end)}, true);
    }
    if (const std::optional<analysis::PositionFit> &fit = fits.position_fit) {
        QVector<double> times, positions;
        for (int i = 0; i <= kCurvePoints; ++i) {
            const double t = start + (end - start) * i / kCurvePoints;
            times << t;
            positions << analysis::position_at(*fit, t).value;
        }
        curve_->setData(times, positions, true);
        if (inspected->tangent_time && inspected->tangent) {
            const double t = *inspected->tangent_time;
            const double x = analysis::position_at(*fit, t).value;
            tangent_->point1->setCoords(t, x);
            tangent_->point2->setCoords(t + 1, x + inspected->tangent->value);
            tangent_->setVisible(true);
        }
    }
}

void InspectorPlot::mark(Plot plot, std::optional<std::int32_t> index)
{
    // A mark without its graph stays where it is, hidden.
    for (QCPItemTracer *hidden : {velocity_mark_, position_mark_}) {
        hidden->setGraph(nullptr);
        hidden->setVisible(false);
    }
    if (!index)
        return;
    QCPGraph *graph = plot == Plot::Velocity ? velocity_points_ : position_points_;
    QCPItemTracer *mark = plot == Plot::Velocity ? velocity_mark_ : position_mark_;
    const int at = plot == Plot::Velocity ? *index - 1 : *index;
    if (at < 0 || at >= graph->data()->size())
        return;
    mark->setGraph(graph);
    mark->setGraphKey((graph->data()->constBegin() + at)->key);
    mark->setVisible(true);
}

void InspectorPlot::restore_view()
{
    for (QCPAxisRect *rect : {velocity_rect_, position_rect_}) {
        for (QCPAxis *axis : {rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft)}) {
            axis->rescale(true);
            // A margin of a twentieth, and 0 in view on the values.
            const QCPRange range = axis->range();
            const double margin = std::max(range.size() / 20, 1e-3);
            double lower = range.lower - margin;
            if (axis->axisType() == QCPAxis::atLeft)
                lower = std::min(0.0, lower);
            axis->setRange(lower, range.upper + margin);
        }
    }
}

std::optional<InspectorPlot::Plot> InspectorPlot::plot_at(const QPoint &pixel) const
{
    if (velocity_rect_->rect().contains(pixel))
        return Plot::Velocity;
    if (position_rect_->rect().contains(pixel))
        return Plot::Position;
    return std::nullopt;
}

double InspectorPlot::time_at(int x) const { return velocity_rect_->axis(QCPAxis::atBottom)->pixelToCoord(x); }
