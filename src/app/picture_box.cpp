// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "picture_box.h"

#include <QEvent>
#include <QPainter>

namespace {
constexpr int kRepaintIntervalMs = 15;
}

PictureBox::PictureBox(int width, int height, QWidget *parent)
    : QFrame(parent), surface_(width, height, devicePixelRatioF())
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setAttribute(Qt::WA_OpaquePaintEvent);
    repaint_timer_.setSingleShot(true);
    repaint_timer_.setInterval(kRepaintIntervalMs);
    connect(&repaint_timer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    surface_.set_change_listener([this] {
        if (!repaint_timer_.isActive())
            repaint_timer_.start();
    });
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setClipRect(contentsRect());
    painter.drawImage(contentsRect().topLeft(), surface_.image());
}

void PictureBox::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::ScreenChangeInternal)
        match_screen_scale();
}

void PictureBox::match_screen_scale()
{
    // Keep one image pixel per screen pixel so that lines stay crisp on a scaled display; the
    // commands keep drawing in the box's own coordinates. (A change of screen clears the picture.)
    const qreal ratio = devicePixelRatioF();
    if (surface_.image().devicePixelRatio() != ratio)
        surface_.set_device_pixel_ratio(ratio);
}
