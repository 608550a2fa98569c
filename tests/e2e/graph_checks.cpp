// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "graph_checks.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRectF>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace e2e {
namespace {

// How far a disc found on the screen may stand outside the places the expectation allows (which
// already cover the rounding of the reading times and of the centres): half a pixel for finding its
// centre, the rest for a reading a fraction of a millisecond late.
constexpr double kDiscMargin = 2.0;
// Centres before and after a change of scale are each exact to a pixel, rounded; a zoom by 2
// doubles the rounding of the first.
constexpr double kMovedTolerance = 2.0;

QString at(double x, double y) { return QStringLiteral("(%1, %2)").arg(x, 0, 'f', 1).arg(y, 0, 'f', 1); }

}  // namespace

double time_at(double x, double x_zoom) { return (x - 50) / (800 * x_zoom); }

double velocity_at(double y, double y_zoom) { return (390 - y) / (33.0 / 20.0 * y_zoom); }

Disc velocity_disc_at(double seconds, double cm_per_s) { return {50 + 800 * seconds, 390 - 33.0 / 20.0 * cm_per_s}; }

Fit fit_of_discs(const std::vector<Disc> &discs, double x_zoom, double y_zoom)
{
    std::vector<double> t;
    std::vector<double> v;
    for (const Disc &disc : discs) {
        t.push_back(time_at(disc.x, x_zoom));
        v.push_back(velocity_at(disc.y, y_zoom));
    }
    const LineFit line = fit_line(t, v);
    return {line.slope, line.intercept};
}

QString compare_with_expected(const std::vector<Disc> &found, const std::vector<ExpectedDisc> &expected)
{
    QStringList problems;
    std::vector<int> matches(expected.size(), 0);
    for (const Disc &disc : found) {
        int best = -1;
        double best_distance = 0;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const QRectF reach = expected[i].centre.adjusted(-kDiscMargin, -kDiscMargin, kDiscMargin, kDiscMargin);
            if (!reach.contains(QPointF(disc.x, disc.y)))
                continue;
            const QPointF middle = expected[i].centre.center();
            const double distance = std::hypot(middle.x() - disc.x, middle.y() - disc.y);
            if (best < 0 || distance < best_distance) {
                best = static_cast<int>(i);
                best_distance = distance;
            }
        }
        if (best < 0)
            problems << QStringLiteral("unexpected disc at %1").arg(at(disc.x, disc.y));
        else
            ++matches[static_cast<std::size_t>(best)];
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const ExpectedDisc &disc = expected[i];
        const QString where = QStringLiteral("%1 (x %2..%3, y %4..%5)")
                                  .arg(disc.index)
                                  .arg(disc.centre.left(), 0, 'f', 1)
                                  .arg(disc.centre.right(), 0, 'f', 1)
                                  .arg(disc.centre.top(), 0, 'f', 1)
                                  .arg(disc.centre.bottom(), 0, 'f', 1);
        if (matches[i] == 0 && disc.certain)
            problems << QStringLiteral("no disc for %1").arg(where);
        if (matches[i] > 1)
            problems << QStringLiteral("%1 discs for %2").arg(matches[i]).arg(where);
    }
    return problems.join(QStringLiteral("; "));
}

QString compare_moved(
    const std::vector<Disc> &before, const std::vector<Disc> &after, const std::function<Disc(const Disc &)> &move)
{
    std::vector<Disc> required;
    std::vector<Disc> optional;
    for (const Disc &disc : before) {
        const Disc moved = move(disc);
        const bool clearly_inside = moved.x <= 610 - kMovedTolerance && moved.y >= 60 + kMovedTolerance;
        const bool clearly_outside = moved.x > 610 + kMovedTolerance || moved.y < 60 - kMovedTolerance;
        if (clearly_inside)
            required.push_back(moved);
        else if (!clearly_outside)
            optional.push_back(moved);
        else
            break;
    }
    QStringList problems;
    std::vector<bool> used(after.size(), false);
    auto take = [&](const Disc &wanted) {
        for (std::size_t i = 0; i < after.size(); ++i) {
            if (!used[i] && std::fabs(after[i].x - wanted.x) <= kMovedTolerance
                && std::fabs(after[i].y - wanted.y) <= kMovedTolerance) {
                used[i] = true;
                return true;
            }
        }
        return false;
    };
    for (const Disc &wanted : required)
        if (!take(wanted))
            problems << QStringLiteral("no disc at %1").arg(at(wanted.x, wanted.y));
    for (const Disc &maybe : optional)
        take(maybe);
    for (std::size_t i = 0; i < after.size(); ++i)
        if (!used[i])
            problems << QStringLiteral("unexpected disc at %1").arg(at(after[i].x, after[i].y));
    return problems.join(QStringLiteral("; "));
}

FittedLine read_fitted_line(const QImage &picture, const std::vector<Disc> &velocity_discs,
    const std::vector<Disc> &distance_discs, double x_zoom, double y_zoom)
{
    FittedLine line;
    const std::vector<QPoint> blue = pixels_off_discs(picture, kBlue, plot_inside(), velocity_discs, distance_discs);
    // The velocity labels, written from x = 15, may reach a few pixels into the box, the further
    // the wider the system's font: the line is fitted first to the dots well clear of them, and
    // then to every dot within two pixels of that line.
    const auto fit_of = [](const std::vector<QPoint> &points) {
        std::vector<double> x;
        std::vector<double> y;
        for (const QPoint &point : points) {
            x.push_back(point.x());
            y.push_back(point.y());
        }
        return fit_line(x, y);
    };
    std::vector<QPoint> clear;
    std::copy_if(blue.begin(), blue.end(), std::back_inserter(clear), [](const QPoint &dot) { return dot.x() >= 80; });
    if (clear.size() < 2)
        return line;
    const LineFit first = fit_of(clear);
    std::vector<QPoint> dots;
    std::copy_if(blue.begin(), blue.end(), std::back_inserter(dots),
        [&first](const QPoint &dot) { return std::fabs(dot.y() - (first.slope * dot.x() + first.intercept)) <= 2; });
    line.left = dots.front().x();
    line.right = dots.front().x();
    for (const QPoint &dot : dots) {
        line.left = std::min(line.left, dot.x());
        line.right = std::max(line.right, dot.x());
    }
    const LineFit fit = fit_of(dots);
    line.dots = static_cast<int>(dots.size());
    line.worst_residual = fit.worst_residual;
    // Each dot is its velocity's height rounded down to a whole pixel, half a pixel below the true
    // line on average.
    line.fit.acceleration = -fit.slope * 800 * x_zoom / (33.0 / 20.0 * y_zoom);
    line.fit.initial_velocity = velocity_at(fit.slope * 50 + fit.intercept - 0.5, y_zoom);
    return line;
}

QImage render_text(const QString &text, const QFont &font)
{
    const QFontMetrics metrics(font);
    QImage image(metrics.horizontalAdvance(text) + 20, metrics.height() + 10, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(10, 5 + metrics.ascent(), text);
    painter.end();
    return image;
}

QString printed_velocity(double cm_per_s)
{
    const long whole = std::lround(cm_per_s);
    const QString sign = whole < 0 ? QStringLiteral("-") : QString();
    return sign + (whole == 0 ? QString() : QString::number(std::labs(whole))) + QStringLiteral("cm/s");
}

QString printed_acceleration(double cm_per_s2)
{
    const long tenths = std::lround(cm_per_s2 * 10);
    const QString sign = tenths < 0 ? QStringLiteral("-") : QString();
    const long whole = std::labs(tenths) / 10;
    const long decimal = std::labs(tenths) % 10;
    return sign + (whole == 0 ? QString() : QString::number(whole)) + QLatin1Char('.')
        + (decimal == 0 ? QString() : QString::number(decimal)) + QStringLiteral("cm/ss");
}

PrintedNumber read_printed_number(
    const QImage &area, double from, double to, double step, const std::function<QString(double)> &format)
{
    // The picture's text is a Japanese gothic at 12 pixels (9 points); whichever of the installed
    // ones it is, it is among these.
    PrintedNumber best;
    for (const QString &family : {QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
             QStringLiteral("Noto Sans CJK JP"), QGuiApplication::font().family()}) {
        QFont font(family);
        font.setPixelSize(12);
        const long steps = std::lround((to - from) / step);
        for (long i = 0; i <= steps; ++i) {
            const double value = from + static_cast<double>(i) * step;
            const double likeness = text_likeness(area, render_text(format(value), font));
            if (likeness > best.likeness)
                best = {value, likeness};
        }
    }
    return best;
}

}  // namespace e2e
