// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "picture_analysis.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace e2e {
namespace {

// A disc of radius 3 covers at least the 5 x 5 square around its centre. A square position counts
// as a disc centre candidate when most of its 25 pixels have the colour: a disc gives a 3 x 3 block
// of candidates around its centre, a line crossing the disc removes only a few pixels, and a
// single-pixel line or text gives none.
constexpr int kCoreHalf = 2;
constexpr int kCandidateThreshold = 19;

bool is_dark(QRgb pixel) { return qRed(pixel) < 110 && qGreen(pixel) < 110 && qBlue(pixel) < 110; }

}  // namespace

QImage picture_area(const QImage &window)
{
    return window.copy(QRect(kPictureOrigin, QSize(kPictureVisibleWidth, kPictureVisibleHeight)))
        .convertToFormat(QImage::Format_RGB32);
}

QRect plot_region() { return QRect(QPoint(46, 56), QPoint(614, 394)); }

QRect plot_inside() { return QRect(QPoint(50, 61), QPoint(610, 395)); }

std::vector<Disc> find_discs(const QImage &picture, QRgb colour, QRect region)
{
    region &= picture.rect().adjusted(kCoreHalf, kCoreHalf, -kCoreHalf, -kCoreHalf);
    const int width = region.width();
    const int height = region.height();
    if (width <= 0 || height <= 0)
        return {};
    std::vector<char> candidate(static_cast<std::size_t>(width * height), 0);
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            int count = 0;
            for (int dy = -kCoreHalf; dy <= kCoreHalf; ++dy)
                for (int dx = -kCoreHalf; dx <= kCoreHalf; ++dx)
                    count += picture.pixel(x + dx, y + dy) == colour;
            candidate[static_cast<std::size_t>((y - region.top()) * width + (x - region.left()))]
                = count >= kCandidateThreshold;
        }
    }

    // Each connected group of candidates is one disc; its centre is the mean of the group.
    std::vector<Disc> discs;
    std::vector<QPoint> stack;
    for (int start = 0; start < width * height; ++start) {
        if (!candidate[static_cast<std::size_t>(start)])
            continue;
        double sum_x = 0;
        double sum_y = 0;
        int members = 0;
        candidate[static_cast<std::size_t>(start)] = 0;
        stack.push_back(QPoint(start % width, start / width));
        while (!stack.empty()) {
            const QPoint p = stack.back();
            stack.pop_back();
            sum_x += p.x();
            sum_y += p.y();
            ++members;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = p.x() + dx;
                    const int ny = p.y() + dy;
                    if (nx < 0 || ny < 0 || nx >= width || ny >= height)
                        continue;
                    char &next = candidate[static_cast<std::size_t>(ny * width + nx)];
                    if (next) {
                        next = 0;
                        stack.push_back(QPoint(nx, ny));
                    }
                }
            }
        }
        discs.push_back({region.left() + sum_x / members, region.top() + sum_y / members});
    }
    std::sort(discs.begin(), discs.end(), [](const Disc &a, const Disc &b) { return a.x < b.x; });
    return discs;
}

int count_pixels(const QImage &picture, QRgb colour, QRect region)
{
    region &= picture.rect();
    int count = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            count += picture.pixel(x, y) == colour;
    return count;
}

int count_dark_pixels(const QImage &picture, QRect region)
{
    region &= picture.rect();
    int count = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            count += is_dark(picture.pixel(x, y));
    return count;
}

bool all_white(const QImage &picture)
{
    return count_pixels(picture, kWhite, picture.rect()) == picture.width() * picture.height();
}

std::vector<QPoint> pixels_off_discs(const QImage &picture, QRgb colour, QRect region, const std::vector<Disc> &discs_a,
    const std::vector<Disc> &discs_b)
{
    // A disc reaches 3 pixels from its centre, 3.5 from the mean of its candidates at worst.
    constexpr double kDiscReach = 4.5;
    region &= picture.rect();
    std::vector<QPoint> pixels;
    auto on_a_disc = [&](int x, int y) {
        for (const std::vector<Disc> *discs : {&discs_a, &discs_b})
            for (const Disc &disc : *discs)
                if (std::hypot(disc.x - x, disc.y - y) <= kDiscReach)
                    return true;
        return false;
    };
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            if (picture.pixel(x, y) == colour && !on_a_disc(x, y))
                pixels.push_back(QPoint(x, y));
    return pixels;
}

LineFit fit_line(const std::vector<double> &x, const std::vector<double> &y)
{
    LineFit fit;
    const std::size_t n = std::min(x.size(), y.size());
    if (n < 2)
        return fit;
    double mean_x = 0;
    double mean_y = 0;
    for (std::size_t i = 0; i < n; ++i) {
        mean_x += x[i];
        mean_y += y[i];
    }
    mean_x /= static_cast<double>(n);
    mean_y /= static_cast<double>(n);
    double sxx = 0;
    double sxy = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sxx += (x[i] - mean_x) * (x[i] - mean_x);
        sxy += (x[i] - mean_x) * (y[i] - mean_y);
    }
    if (sxx == 0)
        return fit;
    fit.slope = sxy / sxx;
    fit.intercept = mean_y - fit.slope * mean_x;
    for (std::size_t i = 0; i < n; ++i)
        fit.worst_residual = std::max(fit.worst_residual, std::fabs(y[i] - (fit.slope * x[i] + fit.intercept)));
    return fit;
}

TraceShape trace_shape(const QImage &picture, int high_top, int high_bottom, int low_top, int low_bottom)
{
    TraceShape shape;
    shape.top = picture.height();
    shape.left = picture.width();
    bool in_pulse = false;
    for (int x = 0; x < picture.width(); ++x) {
        bool reaches_high = false;
        for (int y = 0; y < picture.height(); ++y) {
            if (picture.pixel(x, y) != kRed)
                continue;
            ++shape.red_pixels;
            shape.top = std::min(shape.top, y);
            shape.bottom = std::max(shape.bottom, y);
            shape.left = std::min(shape.left, x);
            shape.right = std::max(shape.right, x);
            if (y >= high_top && y <= high_bottom)
                reaches_high = true;
            if (y >= low_top && y <= low_bottom)
                ++shape.low_pixels;
        }
        if (reaches_high && !in_pulse)
            ++shape.pulses;
        in_pulse = reaches_high;
    }
    return shape;
}

double text_likeness(const QImage &shot, const QImage &rendered)
{
    // The ink of the rendering, cut to its bounding box.
    std::vector<QPoint> ink;
    QRect box;
    for (int y = 0; y < rendered.height(); ++y)
        for (int x = 0; x < rendered.width(); ++x)
            if (is_dark(rendered.pixel(x, y))) {
                ink.push_back(QPoint(x, y));
                box |= QRect(x, y, 1, 1);
            }
    if (ink.empty() || box.width() > shot.width() || box.height() > shot.height())
        return 0;
    for (QPoint &p : ink)
        p -= box.topLeft();
    std::vector<char> ink_mask(static_cast<std::size_t>(box.width() * box.height()), 0);
    for (const QPoint &p : ink)
        ink_mask[static_cast<std::size_t>(p.y() * box.width() + p.x())] = 1;

    std::vector<char> dark(static_cast<std::size_t>(shot.width() * shot.height()), 0);
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            dark[static_cast<std::size_t>(y * shot.width() + x)] = is_dark(shot.pixel(x, y));

    // Overlap over union of the dark pixels inside the placed box, at the best placement.
    double best = 0;
    for (int oy = 0; oy + box.height() <= shot.height(); ++oy) {
        for (int ox = 0; ox + box.width() <= shot.width(); ++ox) {
            int both = 0;
            for (const QPoint &p : ink)
                both += dark[static_cast<std::size_t>((oy + p.y()) * shot.width() + ox + p.x())];
            if (both * 2 < static_cast<int>(ink.size()))
                continue;
            int shot_only = 0;
            for (int y = 0; y < box.height(); ++y)
                for (int x = 0; x < box.width(); ++x)
                    shot_only += dark[static_cast<std::size_t>((oy + y) * shot.width() + ox + x)]
                        && !ink_mask[static_cast<std::size_t>(y * box.width() + x)];
            best = std::max(best, static_cast<double>(both) / static_cast<double>(ink.size() + shot_only));
        }
    }
    return best;
}

QString describe(const std::vector<Disc> &discs)
{
    QStringList parts;
    for (const Disc &disc : discs)
        parts << QStringLiteral("(%1, %2)").arg(disc.x, 0, 'f', 1).arg(disc.y, 0, 'f', 1);
    return parts.join(QLatin1Char(' '));
}

}  // namespace e2e
