// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The plots of グラフを調べる, drawn by the plotting library: v–t above x–t on one shared time axis.
// v–t has each section's velocity at its mid-time and the line over the range, the area under it
// shaded; x–t has the distance at each boundary, the position fit's curve over the range and the
// tangent. A marker shows the point examined, a band the range.

#include "common/measurement_state.h"
#include "inspector_texts.h"

#include <qcustomplot.h>

#include <optional>

class InspectorPlot : public QCustomPlot {
    Q_OBJECT

public:
    enum class Plot { Velocity, Position };

    explicit InspectorPlot(QWidget *parent = nullptr);

    // The points of a run's sections; nothing drawn without a state.
    void show_points(const common::MeasurementState *state);
    // The fits over the range, the band and the tangent; nothing for none.
    void show_fits(const std::optional<InspectedRange> &inspected);
    // Marks point `index` (a section on v–t, a boundary on x–t); none for no mark.
    void mark(Plot plot, std::optional<std::int32_t> index);
    // Both plots to the whole of the data again.
    void restore_view();

    // The plot under a pixel, if any, and the time at a pixel's column.
    std::optional<Plot> plot_at(const QPoint &pixel) const;
    double time_at(int x) const;

private:
    QCPAxisRect *velocity_rect_;
    QCPAxisRect *position_rect_;
    QCPGraph *velocity_points_;
    QCPGraph *position_points_;
    QCPGraph *line_;
    QCPGraph *area_;
    QCPGraph *curve_;
    QCPItemRect *velocity_band_;
    QCPItemRect *position_band_;
    QCPItemStraightLine *tangent_;
    QCPItemTracer *velocity_mark_;
    QCPItemTracer *position_mark_;
};
