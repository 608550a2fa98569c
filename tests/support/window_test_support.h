// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// What the window tests share: a window on a loop host over lines the test chooses, with the
// converter and the session it measures through; its controls by their names; and counts of the
// picture's pixels.

#include "converter/converter.h"
#include "converter/device_name.h"
#include "form1.h"
#include "graph/surface.h"
#include "inline_run_place.h"
#include "picture_box.h"
#include "recording_lines.h"

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>

#include <string>

namespace test_support {

// The window's controls, found by their names in the window definition.
struct WindowControls {
    explicit WindowControls(Form1 &form)
        : Cmd_end(find<QPushButton>(form, "Cmd_end")),
          Cmd_計測(find<QPushButton>(form, "Cmd_計測")),
          HScroll1(find<QScrollBar>(form, "HScroll1")),
          Text1(find<QLineEdit>(form, "Text1")),
          Label2(find<QLabel>(form, "Label2")),
          Label3(find<QLabel>(form, "Label3")),
          Picture1(find<PictureBox>(form, "Picture1")),
          Cmd_graph(find<QPushButton>(form, "Cmd_graph")),
          Cmd_最小2乗法(find<QPushButton>(form, "Cmd_最小2乗法")),
          Cmd_realtime(find<QPushButton>(form, "Cmd_realtime")),
          Cmd_realstop(find<QPushButton>(form, "Cmd_realstop")),
          Cmd_yoko_large(find<QPushButton>(form, "Cmd_yoko_large")),
          Cmd_yoko_small(find<QPushButton>(form, "Cmd_yoko_small")),
          Cmd_tate_large(find<QPushButton>(form, "Cmd_tate_large")),
          Cmd_tate_small(find<QPushButton>(form, "Cmd_tate_small")),
          Cmd_hukugen(find<QPushButton>(form, "Cmd_hukugen")),
          HScroll2(find<QScrollBar>(form, "HScroll2")),
          Text2(find<QLineEdit>(form, "Text2")),
          Label4(find<QLabel>(form, "Label4")),
          Text3(find<QLineEdit>(form, "Text3")),
          Label5(find<QLabel>(form, "Label5")),
          Label1(find<QLabel>(form, "Label1")),
          HScroll3(find<QScrollBar>(form, "HScroll3")),
          measure_progress(find<QProgressBar>(form, "measure_progress"))
    { }

    template <typename Control> static Control *find(Form1 &form, const char *name)
    {
        return form.findChild<Control *>(QString::fromUtf8(name), Qt::FindDirectChildrenOnly);
    }

    QPushButton *Cmd_end;
    QPushButton *Cmd_計測;
    QScrollBar *HScroll1;
    QLineEdit *Text1;
    QLabel *Label2;
    QLabel *Label3;
    PictureBox *Picture1;
    QPushButton *Cmd_graph;
    QPushButton *Cmd_最小2乗法;
    QPushButton *Cmd_realtime;
    QPushButton *Cmd_realstop;
    QPushButton *Cmd_yoko_large;
    QPushButton *Cmd_yoko_small;
    QPushButton *Cmd_tate_large;
    QPushButton *Cmd_tate_small;
    QPushButton *Cmd_hukugen;
    QScrollBar *HScroll2;
    QLineEdit *Text2;
    QLabel *Label4;
    QLineEdit *Text3;
    QLabel *Label5;
    QLabel *Label1;
    QScrollBar *HScroll3;
    QProgressBar *measure_progress;
};

// The converter, the session and the run place of a test window, made before the window and gone
// after it.
struct WindowConverter {
    WindowConverter(converter::SerialLines &lines, acquisition::LoopHost &host)
        : link(lines), session(link), place(host)
    { }
    converter::LineConverter link;
    converter::ConverterSession session;
    test_support::InlineRunPlace place;
};

// A window on `host` whose converter is on `lines` (a test may put it on other lines meanwhile
// through `link`), opened on `port_name`, with its controls.
class TestWindow : public WindowConverter, public Form1 {
public:
    TestWindow(acquisition::LoopHost &host, converter::SerialLines &lines, const std::string &port_name = "COM1")
        : WindowConverter(lines, host), Form1(place, session, port_name), ui(*this)
    { }
    // A window whose runs take their readings at `runs` (a thread of their own) instead.
    TestWindow(acquisition::RunPlace &runs, converter::SerialLines &lines)
        : WindowConverter(lines, runs.host()), Form1(runs, session, "COM1"), ui(*this)
    { }
    const WindowControls ui;
};

// A new window on `host` over `lines`, shown.
inline std::unique_ptr<TestWindow> show_form(acquisition::LoopHost &host, converter::SerialLines &lines)
{
    auto form = std::make_unique<TestWindow>(host, lines);
    form->show();
    return form;
}

// The system's name of the port the test windows are given ("COM1"), as messages name it.
inline QString com1_device() { return QString::fromStdString(converter::device_name("COM1")); }

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
