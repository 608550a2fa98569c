// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "picture_box.h"

#include <QEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace {
// What a screen whose refresh rate is not known shows, and the bounds of what is believed.
constexpr int kUsualFrameMs = 16;
constexpr int kShortestFrameMs = 4;
constexpr int kLongestFrameMs = 50;
}  // namespace

PictureBox::PictureBox(int width, int height, QWidget *parent)
    : QFrame(parent), surface_(width, height, devicePixelRatioF())
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setAttribute(Qt::WA_OpaquePaintEvent);
    repaint_timer_.setSingleShot(true);
    repaint_timer_.setTimerType(Qt::PreciseTimer);
    connect(&repaint_timer_, &QTimer::timeout, this, [this] {
        update(changed_area_.translated(contentsRect().topLeft()));
        changed_area_ = {};
    });
    surface_.set_change_listener([this](const QRect &area) { picture_changed(area); });
}

void PictureBox::picture_changed(const QRect &area)
{
    changed_area_ |= area;
    if (!repaint_timer_.isActive())
        repaint_timer_.start(frame_interval_ms());
}

int PictureBox::frame_interval_ms() const
{
    const QScreen *shown_on = screen();
    const qreal rate = shown_on ? shown_on->refreshRate() : 0;
    if (!(rate > 0))
        return kUsualFrameMs;
    return std::clamp(static_cast<int>(1000.0 / rate), kShortestFrameMs, kLongestFrameMs);
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    // The painter keeps to the region that needs painting: at each frame of a live view only the
    // strip that changed is copied.
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
    // commands keep drawing in the box's own coordinates, and the picture comes along.
    const qreal ratio = devicePixelRatioF();
    if (surface_.image().devicePixelRatio() != ratio) {
        surface_.set_device_pixel_ratio(ratio);
        update();
    }
}
