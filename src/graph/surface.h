// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The drawing surface of the picture box: a persistent image with the drawing state the window's
// commands expect (current point, text colour, line style, fill style and fill colour).
// Coordinates are pixels, origin at the top left, y downward; real coordinates are rounded to the
// nearest pixel, halves to even. Anything outside the image is clipped. The image may carry a
// device pixel ratio so that the picture stays crisp on a scaled display while every command
// keeps its logical coordinates.

#include "common/palette.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>

#include <functional>
#include <memory>

namespace graph {

enum class LineStyle { Solid, Dotted };
enum class FillStyle { Transparent, Solid };

class Surface {
public:
    Surface(int width, int height, qreal device_pixel_ratio = 1.0);
    ~Surface();
    Surface(const Surface &) = delete;
    Surface &operator=(const Surface &) = delete;

    // Logical size in pixels.
    int width() const { return width_; }
    int height() const { return height_; }

    // The picture, with every drawing so far in it.
    const QImage &image();
    // Changes the device pixel ratio; the picture is kept, scaled to the new pixels.
    void set_device_pixel_ratio(qreal ratio);

    // Fills the whole surface with the background colour and moves the current point to (0, 0).
    void clear();

    void set_line_style(LineStyle style) { line_style_ = style; }
    void set_fill_style(FillStyle style) { fill_style_ = style; }
    void set_fill_colour(int palette_index) { fill_colour_ = palette_index; }
    void set_text_colour(int palette_index) { text_colour_ = palette_index; }
    LineStyle line_style() const { return line_style_; }
    FillStyle fill_style() const { return fill_style_; }
    int fill_colour() const { return fill_colour_; }
    int text_colour() const { return text_colour_; }

    // Sets one pixel; it becomes the current point.
    void set_pixel(double x, double y, int palette_index);
    // A line in the current line style from the current point to (x, y), which becomes current.
    void line_to(double x, double y, int palette_index);
    // A line in the current line style between two points; the second becomes current.
    void line(double x1, double y1, double x2, double y2, int palette_index);
    // A rectangle outline between two corners, its inside filled according to the fill style.
    void rectangle(double x1, double y1, double x2, double y2, int palette_index);
    // A circle around (x, y): outline in the colour, inside filled according to the fill style.
    void circle(double x, double y, double radius, int palette_index);
    // Moves the current point.
    void move_to(double x, double y);
    double current_x() const { return current_x_; }
    double current_y() const { return current_y_; }
    // Writes a text in the text colour with its top-left corner at the current point.
    void print(const QString &text);

    const QFont &font() const { return font_; }

    // Called after every change of the picture with the part that changed, in logical pixels (to
    // schedule a repaint of that part of whatever shows it).
    void set_change_listener(std::function<void(const QRect &area)> listener)
    {
        change_listener_ = std::move(listener);
    }

private:
    QPainter &painter();
    void end_painting();
    double stroke_offset() const;
    void draw_clipped_line(double x1, double y1, double x2, double y2, int palette_index);
    // The part of the picture between two points, with the width of a line's stroke around it.
    QRect area(double x1, double y1, double x2, double y2) const;
    void changed(const QRect &area)
    {
        if (change_listener_ && !area.isEmpty())
            change_listener_(area);
    }
    void changed_all() { changed(QRect(0, 0, width_, height_)); }

    int width_;
    int height_;
    QImage image_;
    std::unique_ptr<QPainter> painter_;
    QFont font_;
    LineStyle line_style_ = LineStyle::Solid;
    FillStyle fill_style_ = FillStyle::Transparent;
    int fill_colour_ = common::kBlack;
    int text_colour_ = common::kBlack;
    double current_x_ = 0;
    double current_y_ = 0;
    std::function<void(const QRect &area)> change_listener_;
};

QColor palette_qcolor(int palette_index);

// Makes the Japanese interface font of the window ("ＭＳ Ｐゴシック") resolve to its metric-compatible
// stand-ins on systems that lack it. Safe to call more than once.
void install_font_substitutes();
// The font of texts on the picture box.
QFont picture_font();

}  // namespace graph
