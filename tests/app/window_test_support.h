// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// What the window tests share: a shown window on a loop host, the converter link put back when a
// test is done, and counts of the picture's pixels.

#include "converter/converter.h"
#include "converter/device_name.h"
#include "converter/recording_lines.h"
#include "form1.h"
#include "graph/surface.h"

#include <QImage>

#include <memory>

namespace test_support {

// A new window on `host`, shown. The converter link stays on whatever lines the test chose.
inline std::unique_ptr<Form1> show_form(acquisition::LoopHost &host)
{
    auto form = std::make_unique<Form1>(host, "COM1");
    form->show();
    return form;
}

// The system's name of the port the test windows are given ("COM1"), as messages name it.
inline QString com1_device() { return QString::fromStdString(converter::device_name("COM1")); }

// Puts the converter link on lines that never open, so that no test's lines outlive the test.
inline void detach_lines()
{
    static converter::NoLines none;
    converter::use_lines(none);
}

// Scripts the fake's next two status answers so that the converter answers its preparation: ready
// (CTS asserted) after the first pulse, busy after the next.
inline void answer_preparation(converter::RecordingLines &lines)
{
    lines.answers.push_front(converter::ModemStatus{false, false});
    lines.answers.push_front(converter::ModemStatus{true, false});
}

inline int count_pixels(graph::Surface &surface, QRgb colour)
{
    const QImage &image = surface.image();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) == colour;
    return count;
}

inline bool picture_is_blank(graph::Surface &surface)
{
    const QImage &image = surface.image();
    return count_pixels(surface, qRgb(255, 255, 255)) == image.width() * image.height();
}

}  // namespace test_support
