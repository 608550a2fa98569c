// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "graph/lesson_graph.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace graph {
namespace {

// Black, orange, sky blue, bluish green, yellow, blue, vermilion, reddish purple.
const QColor kRunColours[] = {QColor(0, 0, 0), QColor(230, 159, 0), QColor(86, 180, 233), QColor(0, 158, 115),
    QColor(240, 228, 66), QColor(0, 114, 178), QColor(213, 94, 0), QColor(204, 121, 167)};
constexpr int kMarginLeft = 64;
constexpr int kMarginRight = 16;
constexpr int kMarginTop = 28;
constexpr int kMarginBottom = 44;

struct Range {
    double low = 0;
    double high = 1;
};

// From 0 (or below, for values below it) to a little past the largest value.
Range range_of(double low, double high)
{
    low = std::min(0.0, low);
    high = std::max(0.0, high);
    if (!(high > low)) {
        high = low + 1;
    }
    const double margin = (high - low) * 0.08;
    return {low < 0 ? low - margin : low, high + margin};
}

class Axes {
public:
    Axes(QPainter &painter, QSize size, Range x, Range y) : painter_(painter), size_(size), x_(x), y_(y) { }

    QPointF at(double x, double y) const
    {
        const double width = size_.width() - kMarginLeft - kMarginRight;
        const double height = size_.height() - kMarginTop - kMarginBottom;
        return {kMarginLeft + (x - x_.low) / (x_.high - x_.low) * width,
            kMarginTop + (y_.high - y) / (y_.high - y_.low) * height};
    }

    void draw(const QString &x_label, const QString &y_label)
    {
        const QRectF box(at(x_.low, y_.high), at(x_.high, y_.low));
        painter_.setPen(QPen(Qt::black, 1));
        painter_.drawRect(box);
        const QFontMetricsF metrics(painter_.font());
        const double x_step = tick_step(x_.high - x_.low, 5);
        for (double x = std::ceil(x_.low / x_step) * x_step; x <= x_.high + 1e-9 * x_step; x += x_step) {
            const QPointF bottom = at(x, y_.low);
            painter_.drawLine(bottom, bottom - QPointF(0, 4));
            const QString text = number(x, x_step);
            painter_.drawText(
                QPointF(bottom.x() - metrics.horizontalAdvance(text) / 2, bottom.y() + metrics.height()), text);
        }
        const double y_step = tick_step(y_.high - y_.low, 5);
        for (double y = std::ceil(y_.low / y_step) * y_step; y <= y_.high + 1e-9 * y_step; y += y_step) {
            const QPointF left = at(x_.low, y);
            painter_.drawLine(left, left + QPointF(4, 0));
            const QString text = number(y, y_step);
            painter_.drawText(
                QPointF(left.x() - metrics.horizontalAdvance(text) - 4, left.y() + metrics.ascent() / 2), text);
        }
        if (x_.low < 0 && x_.high > 0)
            painter_.drawLine(at(0, y_.low), at(0, y_.high));
        if (y_.low < 0 && y_.high > 0)
            painter_.drawLine(at(x_.low, 0), at(x_.high, 0));
        painter_.drawText(
            QRectF(kMarginLeft, size_.height() - metrics.height() - 2, size_.width() - kMarginLeft, metrics.height()),
            Qt::AlignHCenter, x_label);
        painter_.drawText(QPointF(4, metrics.height()), y_label);
    }

private:
    static QString number(double value, double step)
    {
        const int decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(step))), 0, 6);
        return QString::number(std::fabs(value) < step * 1e-9 ? 0.0 : value, 'f', decimals);
    }

    QPainter &painter_;
    QSize size_;
    Range x_;
    Range y_;
};

void mark(QPainter &painter, QPointF at, std::size_t run)
{
    const QColor colour = run_colour(run);
    painter.setPen(QPen(colour.darker(run % 8 == 4 ? 150 : 100), 1.5));
    painter.setBrush(colour);
    constexpr double r = 4;
    switch ((run / 8) % 4) {
    case 0:
        painter.drawEllipse(at, r, r);
        break;
    case 1:
        painter.drawRect(QRectF(at.x() - r, at.y() - r, 2 * r, 2 * r));
        break;
    case 2: {
        const QPointF triangle[] = {at + QPointF(0, -r - 1), at + QPointF(r + 1, r), at + QPointF(-r - 1, r)};
        painter.drawPolygon(triangle, 3);
        break;
    }
    default: {
        const QPointF diamond[]
            = {at + QPointF(0, -r - 1), at + QPointF(r + 1, 0), at + QPointF(0, r + 1), at + QPointF(-r - 1, 0)};
        painter.drawPolygon(diamond, 4);
        break;
    }
    }
}

QImage blank(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

}  // namespace

QColor run_colour(std::size_t run) { return kRunColours[run % std::size(kRunColours)]; }

double tick_step(double range, int ticks)
{
    if (!(range > 0) || !std::isfinite(range) || ticks < 1)
        return 1;
    const double raw = range / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0, 10.0})
        if (raw <= factor * power * (1 + 1e-9))
            return factor * power;
    return 10 * power;
}

QImage draw_law(const LawPicture &picture, QSize size)
{
    QImage image = blank(size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    double x_low = 0, x_high = 0, y_low = 0, y_high = 0;
    for (const LawPoint &point : picture.points) {
        x_low = std::min(x_low, point.x);
        x_high = std::max(x_high, point.x);
        y_low = std::min(y_low, point.y - point.error);
        y_high = std::max(y_high, point.y + point.error);
    }
    const Range x = range_of(x_low, x_high);
    const Range y = range_of(y_low, y_high);
    Axes axes(painter, size, x, y);
    axes.draw(picture.x_label, picture.y_label);
    painter.setClipRect(QRectF(axes.at(x.low, y.high), axes.at(x.high, y.low)));
    if (picture.slope) {
        painter.setPen(QPen(Qt::black, 1.5));
        painter.drawLine(axes.at(x.low, picture.intercept + *picture.slope * x.low),
            axes.at(x.high, picture.intercept + *picture.slope * x.high));
    }
    for (const LawPoint &point : picture.points) {
        painter.setPen(QPen(run_colour(point.run).darker(110), 1.5));
        const QPointF top = axes.at(point.x, point.y + point.error);
        const QPointF bottom = axes.at(point.x, point.y - point.error);
        painter.drawLine(top, bottom);
        painter.drawLine(top - QPointF(4, 0), top + QPointF(4, 0));
        painter.drawLine(bottom - QPointF(4, 0), bottom + QPointF(4, 0));
        mark(painter, axes.at(point.x, point.y), point.run);
    }
    return image;
}

QImage draw_family(const std::vector<RunPoints> &runs, QSize size)
{
    QImage image = blank(size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    double t_high = 0, v_low = 0, v_high = 0;
    for (const RunPoints &run : runs)
        for (std::size_t i = 0; i < run.times.size(); ++i) {
            t_high = std::max(t_high, static_cast<double>(run.times[i]));
            v_low = std::min(v_low, static_cast<double>(run.velocities[i]));
            v_high = std::max(v_high, static_cast<double>(run.velocities[i]));
        }
    const Range t = range_of(0, t_high);
    const Range v = range_of(v_low, v_high);
    Axes axes(painter, size, t, v);
    axes.draw(QStringLiteral("時間 [s]"), QStringLiteral("速度 [cm/s]"));
    painter.setClipRect(QRectF(axes.at(t.low, v.high), axes.at(t.high, v.low)));
    for (const RunPoints &run : runs) {
        if (run.initial_velocity) {
            painter.setPen(QPen(run_colour(run.run), 1.5));
            painter.drawLine(axes.at(t.low, *run.initial_velocity + run.acceleration * t.low),
                axes.at(t.high, *run.initial_velocity + run.acceleration * t.high));
        }
        for (std::size_t i = 0; i < run.times.size(); ++i)
            mark(painter, axes.at(run.times[i], run.velocities[i]), run.run);
    }
    return image;
}

}  // namespace graph
