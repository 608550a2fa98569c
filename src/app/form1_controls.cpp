// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The window's controls: where each one stands, its caption and range, the tab order, and which
// handler each one calls.

#include "form1.h"

#include "common/limits.h"
#include "graph/surface.h"
#include "picture_box.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>

namespace {

constexpr int kPictureWidth = 660;
constexpr int kPictureHeight = 480;

QFont text_box_font()
{
    graph::install_font_substitutes();
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPointSize(9);
    font.setBold(true);
    return font;
}

QFont interface_font()
{
    graph::install_font_substitutes();
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPointSize(9);
    return font;
}

#include "resources/undou-kaiseki.xpm"

}  // namespace

QIcon program_icon() { return QIcon(QPixmap(undou_kaiseki)); }

QFont window_font() { return interface_font(); }

void Form1::create_controls()
{
    auto button = [this](QPushButton *&control, const char *name, const QString &caption, QRect place) {
        control = new QPushButton(caption, this);
        control->setObjectName(QString::fromUtf8(name));
        control->setGeometry(place);
        control->setAutoDefault(false);
    };
    auto scroll_bar = [this](QScrollBar *&control, const char *name, QRect place, int first, int last, int page_step) {
        control = new QScrollBar(Qt::Horizontal, this);
        control->setObjectName(QString::fromUtf8(name));
        control->setGeometry(place);
        control->setRange(first, last);
        control->setSingleStep(1);
        control->setPageStep(page_step);
        control->setValue(1);
        // The value counts once the thumb is released, not while it is dragged.
        control->setTracking(false);
        // Qt's scroll bars take the arrow and page keys the other way round, as a scrolled view
        // does; a setting goes up with the right arrow and Page Up, as the bar's own arrows do.
        control->setInvertedControls(false);
        control->setFocusPolicy(Qt::StrongFocus);
        control->installEventFilter(this);
    };
    auto text_box = [this](QLineEdit *&control, const char *name, QRect place) {
        control = new QLineEdit(QStringLiteral("1"), this);
        control->setObjectName(QString::fromUtf8(name));
        control->setGeometry(place);
        control->setFont(text_box_font());
        control->setTextMargins(0, 0, 0, 0);
    };
    auto label = [this](QLabel *&control, const char *name, const QString &caption, QRect place) {
        control = new QLabel(caption, this);
        control->setObjectName(QString::fromUtf8(name));
        control->setGeometry(place);
    };

    // In tab order.
    button(Cmd_end, "Cmd_end", QStringLiteral("終了"), {16, 136, 81, 33});
    button(Cmd_計測, "Cmd_計測", QStringLiteral("計測"), {16, 40, 81, 33});
    scroll_bar(HScroll1, "HScroll1", {16, 288, 73, 25}, common::kShortestPeriodMs, common::kLongestPeriodMs, 10);
    text_box(Text1, "Text1", {32, 320, 33, 18});
    label(Label2, "Label2", QStringLiteral("計測周期"), {32, 272, 57, 17});
    label(Label3, "Label3", QStringLiteral("ms"), {72, 320, 25, 17});
    Picture1 = new PictureBox(kPictureWidth, kPictureHeight, this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(112, 40, kPictureWidth, kPictureHeight);
    Picture1->setFocusPolicy(Qt::TabFocus);
    button(Cmd_graph, "Cmd_graph", QStringLiteral("グラフ"), {16, 72, 81, 33});
    button(Cmd_最小2乗法, "Cmd_最小2乗法", QStringLiteral("最小２乗法"), {16, 104, 81, 33});
    button(Cmd_realtime, "Cmd_realtime", QStringLiteral("実時間計測"), {16, 184, 81, 33});
    button(Cmd_realstop, "Cmd_realstop", QStringLiteral("中止"), {16, 216, 81, 33});
    button(Cmd_yoko_large, "Cmd_yoko_large", QStringLiteral("横拡大"), {344, 536, 97, 33});
    button(Cmd_yoko_small, "Cmd_yoko_small", QStringLiteral("横縮小"), {440, 536, 89, 33});
    button(Cmd_tate_large, "Cmd_tate_large", QStringLiteral("縦拡大"), {544, 536, 81, 33});
    button(Cmd_tate_small, "Cmd_tate_small", QStringLiteral("縦縮小"), {624, 536, 89, 33});
    button(Cmd_hukugen, "Cmd_hukugen", QStringLiteral("元のグラフ"), {184, 536, 121, 33});
    scroll_bar(HScroll2, "HScroll2", {16, 376, 73, 25}, common::kShortestTimeS, common::kLongestTimeS, 1);
    text_box(Text2, "Text2", {32, 408, 33, 18});
    label(Label4, "Label4", QStringLiteral("計測時間"), {32, 360, 57, 17});
    text_box(Text3, "Text3", {32, 504, 33, 18});
    label(Label5, "Label5", QStringLiteral("1区間の穴数"), {24, 456, 73, 17});
    label(Label1, "Label1", QStringLiteral("ｓ"), {72, 408, 17, 17});
    scroll_bar(HScroll3, "HScroll3", {24, 472, 57, 25}, common::kFewestHolesPerSection, common::kMostHolesOnBar, 1);

    measure_progress = new QProgressBar(this);
    measure_progress->setObjectName(QStringLiteral("measure_progress"));
    measure_progress->setGeometry(16, 542, 156, 16);
    measure_progress->setTextVisible(false);
    measure_progress->setFocusPolicy(Qt::NoFocus);
    measure_progress->hide();

    QWidget *const tab_order[] = {Cmd_end, Cmd_計測, HScroll1, Text1, Picture1, Cmd_graph, Cmd_最小2乗法, Cmd_realtime,
        Cmd_realstop, Cmd_yoko_large, Cmd_yoko_small, Cmd_tate_large, Cmd_tate_small, Cmd_hukugen, HScroll2, Text2,
        Text3, HScroll3};
    for (std::size_t i = 1; i < std::size(tab_order); ++i)
        setTabOrder(tab_order[i - 1], tab_order[i]);
    Cmd_end->setFocus();
}

void Form1::connect_controls()
{
    connect(Cmd_end, &QPushButton::clicked, this, [this] { Cmd_end_click(); });
    connect(Cmd_計測, &QPushButton::clicked, this, [this] { Cmd_計測_click(); });
    connect(Cmd_graph, &QPushButton::clicked, this, [this] { Cmd_graph_click(); });
    connect(Cmd_最小2乗法, &QPushButton::clicked, this, [this] { Cmd_最小2乗法_click(); });
    connect(Cmd_realtime, &QPushButton::clicked, this, [this] { Cmd_realtime_click(); });
    connect(Cmd_realstop, &QPushButton::clicked, this, [this] { Cmd_realstop_click(); });
    connect(Cmd_tate_large, &QPushButton::clicked, this, [this] { Cmd_tate_large_click(); });
    connect(Cmd_tate_small, &QPushButton::clicked, this, [this] { Cmd_tate_small_click(); });
    connect(Cmd_yoko_large, &QPushButton::clicked, this, [this] { Cmd_yoko_large_click(); });
    connect(Cmd_yoko_small, &QPushButton::clicked, this, [this] { Cmd_yoko_small_click(); });
    connect(Cmd_hukugen, &QPushButton::clicked, this, [this] { Cmd_hukugen_click(); });
    connect(HScroll1, &QScrollBar::valueChanged, this, [this] { HScroll1_change(); });
    connect(HScroll2, &QScrollBar::valueChanged, this, [this] { HScroll2_change(); });
    connect(HScroll3, &QScrollBar::valueChanged, this, [this] { HScroll3_change(); });
    connect(Text1, &QLineEdit::editingFinished, this, [this] { confirm_setting(Text1, HScroll1); });
    connect(Text2, &QLineEdit::editingFinished, this, [this] { confirm_setting(Text2, HScroll2); });
}
