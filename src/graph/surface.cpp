// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "graph/surface.h"

#include "common/numeric.h"

#include <QPen>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace graph {
namespace {

// Points this far outside the image are certainly invisible; keeping coordinates inside this range
// also keeps them far from the limits of the painter's fixed-point arithmetic.
constexpr double kFarOutside = 4096.0;

bool near_picture(double x, double y, int width, int height)
{
    return x > -kFarOutside && x < width + kFarOutside && y > -kFarOutside && y < height + kFarOutside;
}

// Cuts the segment to the box of near_picture (Liang-Barsky). False when nothing of it is inside.
bool clip_segment(double &x1, double &y1, double &x2, double &y2, int width, int height)
{
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2))
        return false;
    const double dx = x2 - x1;
    const double dy = y2 - y1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x1 + kFarOutside, width + kFarOutside - x1, y1 + kFarOutside, height + kFarOutside - y1};
    double enter = 0.0;
    double leave = 1.0;
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0)
            enter = std::max(enter, r);
        else
            leave = std::min(leave, r);
    }
    if (enter > leave)
        return false;
    const double sx = x1;
    const double sy = y1;
    x1 = sx + enter * dx;
    y1 = sy + enter * dy;
    x2 = sx + leave * dx;
    y2 = sy + leave * dy;
    return true;
}

int pixel(double coordinate) { return common::round_to_pixel(coordinate); }

}  // namespace

QColor palette_qcolor(int palette_index)
{
    const common::Rgb rgb = common::palette_colour(palette_index);
    return QColor(rgb.red, rgb.green, rgb.blue);
}

void install_font_substitutes()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QFont::insertSubstitutions(
            QStringLiteral("ＭＳ Ｐゴシック"), {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
        QFont::insertSubstitutions(
            QStringLiteral("MS PGothic"), {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
    });
}

QFont picture_font()
{
    install_font_substitutes();
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);  // 9 points at 96 dots per inch
    // The picture is saved, copied and printed as well as shown: its text is smoothed in grey, not
    // in the coloured fringes that suit one kind of screen (as Windows would otherwise draw it).
    font.setStyleStrategy(QFont::NoSubpixelAntialias);
    return font;
}

Surface::Surface(int width, int height, qreal device_pixel_ratio)
    : width_(width), height_(height), font_(picture_font())
{
    set_device_pixel_ratio(device_pixel_ratio);
}

Surface::~Surface() { end_painting(); }

void Surface::set_device_pixel_ratio(qreal ratio)
{
    end_painting();
    const QImage before = image_;
    image_ = QImage(static_cast<int>(std::ceil(width_ * ratio)), static_cast<int>(std::ceil(height_ * ratio)),
        QImage::Format_RGB32);
    image_.setDevicePixelRatio(ratio);
    clear();
    if (before.isNull() || before.size().isEmpty())
        return;
    // The picture comes along: the window is moved to a screen of another scale (a projector) and
    // nothing draws it again. Each pixel becomes whole screen pixels on a larger scale; on a smaller
    // one, neighbours are blended so that no thin line is lost. Drawing goes on in sharp pixels.
    const bool larger = ratio >= before.devicePixelRatio();
    QImage scaled = before.scaled(
        image_.size(), Qt::IgnoreAspectRatio, larger ? Qt::FastTransformation : Qt::SmoothTransformation);
    scaled.setDevicePixelRatio(ratio);
    QPainter copy(&image_);
    copy.drawImage(QPoint(0, 0), scaled);
}

const QImage &Surface::image()
{
    end_painting();
    return image_;
}

QPainter &Surface::painter()
{
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&image_);
        painter_->setRenderHint(QPainter::Antialiasing, false);
        painter_->setRenderHint(QPainter::TextAntialiasing, true);
        painter_->setFont(font_);
    }
    return *painter_;
}

double Surface::stroke_offset() const
{
    // A one-pixel line at x covers the logical pixel [x, x + 1), as a single pixel does. At a
    // device pixel ratio of 1 the painter already does so for whole coordinates; on a scaled
    // display the stroke must be centred on that pixel, or it straddles two screen-pixel columns.
    return image_.devicePixelRatio() > 1.0 ? 0.5 : 0.0;
}

void Surface::end_painting()
{
    if (painter_) {
        painter_->end();
        painter_.reset();
    }
}

QRect Surface::area(double x1, double y1, double x2, double y2) const
{
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2))
        return QRect(0, 0, width_, height_);
    // Two pixels around: a stroke's square cap, and rounding to the screen's pixels.
    const QRectF around
        = QRectF(QPointF(std::min(x1, x2), std::min(y1, y2)), QPointF(std::max(x1, x2), std::max(y1, y2)))
              .adjusted(-2, -2, 3, 3);
    return around.intersected(QRectF(0, 0, width_, height_)).toAlignedRect();
}

void Surface::clear()
{
    end_painting();
    image_.fill(palette_qcolor(common::kWhite));
    current_x_ = 0;
    current_y_ = 0;
    changed_all();
}

void Surface::set_pixel(double x, double y, int palette_index)
{
    current_x_ = x;
    current_y_ = y;
    if (!near_picture(x, y, width_, height_))
        return;
    painter().fillRect(QRect(pixel(x), pixel(y), 1, 1), palette_qcolor(palette_index));
    changed(area(x, y, x, y));
}

void Surface::line_to(double x, double y, int palette_index) { line(current_x_, current_y_, x, y, palette_index); }

void Surface::line(double x1, double y1, double x2, double y2, int palette_index)
{
    current_x_ = x2;
    current_y_ = y2;
    draw_clipped_line(x1, y1, x2, y2, palette_index);
    changed(area(x1, y1, x2, y2));
}

void Surface::draw_clipped_line(double x1, double y1, double x2, double y2, int palette_index)
{
    if (!clip_segment(x1, y1, x2, y2, width_, height_))
        return;
    QPainter &p = painter();
    QPen pen(palette_qcolor(palette_index));
    pen.setWidth(1);
    pen.setStyle(line_style_ == LineStyle::Dotted ? Qt::DotLine : Qt::SolidLine);
    pen.setCapStyle(Qt::SquareCap);
    p.setPen(pen);
    const double o = stroke_offset();
    p.drawLine(QPointF(pixel(x1) + o, pixel(y1) + o), QPointF(pixel(x2) + o, pixel(y2) + o));
}

void Surface::rectangle(double x1, double y1, double x2, double y2, int palette_index)
{
    current_x_ = x2;
    current_y_ = y2;
    const double left = std::min(x1, x2);
    const double right = std::max(x1, x2);
    const double top = std::min(y1, y2);
    const double bottom = std::max(y1, y2);
    if (fill_style_ == FillStyle::Solid && near_picture(left, top, width_, height_)
        && near_picture(right, bottom, width_, height_)) {
        painter().fillRect(
            QRect(QPoint(pixel(left), pixel(top)), QPoint(pixel(right), pixel(bottom))), palette_qcolor(fill_colour_));
    }
    draw_clipped_line(left, top, right, top, palette_index);
    draw_clipped_line(right, top, right, bottom, palette_index);
    draw_clipped_line(right, bottom, left, bottom, palette_index);
    draw_clipped_line(left, bottom, left, top, palette_index);
    changed(area(left, top, right, bottom));
}

void Surface::circle(double x, double y, double radius, int palette_index)
{
    current_x_ = x;
    current_y_ = y;
    if (!near_picture(x, y, width_, height_) || !(radius >= 0) || radius > kFarOutside)
        return;
    QPainter &p = painter();
    QPen pen(palette_qcolor(palette_index));
    pen.setWidth(1);
    pen.setStyle(line_style_ == LineStyle::Dotted ? Qt::DotLine : Qt::SolidLine);
    p.setPen(pen);
    if (fill_style_ == FillStyle::Solid)
        p.setBrush(palette_qcolor(fill_colour_));
    else
        p.setBrush(Qt::NoBrush);
    const double o = stroke_offset();
    p.drawEllipse(QPointF(pixel(x) + o, pixel(y) + o), pixel(radius), pixel(radius));
    changed(area(x - radius, y - radius, x + radius, y + radius));
}

void Surface::move_to(double x, double y)
{
    current_x_ = x;
    current_y_ = y;
}

void Surface::print(const QString &text)
{
    if (text.isEmpty() || !near_picture(current_x_, current_y_, width_, height_))
        return;
    QPainter &p = painter();
    p.setPen(palette_qcolor(text_colour_));
    const int x = pixel(current_x_);
    const int y = pixel(current_y_);
    p.drawText(QRect(x, y, width_ + static_cast<int>(kFarOutside), height_ + static_cast<int>(kFarOutside)),
        Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    changed(area(current_x_, current_y_, width_, height_));
}

}  // namespace graph
