// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The picture box of the window: a sunken frame that shows the drawing surface. The surface keeps
// its picture, so covering and uncovering the window never loses it. Its width and height are the
// box's outer size; the picture's origin is the top left of the drawing area inside the border.

#include "graph/surface.h"

#include <QFrame>
#include <QTimer>

class PictureBox : public QFrame {
    Q_OBJECT
public:
    PictureBox(int width, int height, QWidget *parent = nullptr);

    graph::Surface &surface() { return surface_; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void match_screen_scale();
    void picture_changed(const QRect &area);
    // One frame of the screen, in ms.
    int frame_interval_ms() const;

    graph::Surface surface_;
    // Repaints are gathered: a live view may draw a thousand points a second, the screen shows
    // about sixty frames. Only the part of the picture that changed is painted again.
    QTimer repaint_timer_;
    QRect changed_area_;
};
