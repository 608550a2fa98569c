// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// On a display scaled by 2 the window keeps its layout, the picture keeps its logical 660 x 480
// coordinates, and its lines stay crisp: one logical pixel is exactly two screen pixels wide.

#include "converter/converter.h"
#include "fake_loop_host.h"
#include "form1.h"
#include "graph/draw_graph.h"
#include "picture_box.h"
#include "recording_lines.h"
#include "window_test_support.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <cmath>
#include <memory>

class TestDisplayScale : public QObject {
    Q_OBJECT

private slots:
    void layout_keeps_logical_places();
    void picture_keeps_logical_coordinates_and_crisp_lines();
    void picture_comes_along_to_another_screen_data();
    void picture_comes_along_to_another_screen();
};

void TestDisplayScale::layout_keeps_logical_places()
{
    test_support::FakeLoopHost host;
    converter::RecordingLines lines;
    test_support::TestWindow form(host, lines);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.devicePixelRatioF(), 2.0);
    QCOMPARE(form.size(), QSize(831, 582));
    QCOMPARE(form.ui.Picture1->geometry(), QRect(112, 40, 660, 480));
    QCOMPARE(form.ui.Cmd_hukugen->geometry(), QRect(184, 536, 121, 33));
    const QImage window = form.grab().toImage();
    QCOMPARE(window.size(), QSize(1662, 1164));
}

void TestDisplayScale::picture_keeps_logical_coordinates_and_crisp_lines()
{
    test_support::FakeLoopHost host;
    converter::RecordingLines lines;
    test_support::TestWindow form(host, lines);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    graph::Surface &picture = form.picture();
    QCOMPARE(picture.width(), 660);
    QCOMPARE(picture.height(), 480);
    form.document().state.x_zoom = 1.0f;
    graph::draw_graph(picture, form.document().state, 1.0f, 1.0f);
    const QImage &image = picture.image();
    QCOMPARE(image.devicePixelRatio(), 2.0);
    QCOMPARE(image.size(), QSize(1320, 960));

    // The solid left edge of the plot box at x = 50, between two grid lines and clear of the labels:
    // screen columns 100 and 101 are black, their neighbours white, with no grey in between.
    for (int screen_y = 2 * 70; screen_y < 2 * 85; ++screen_y) {
        QCOMPARE(image.pixel(99, screen_y), qRgb(255, 255, 255));
        QCOMPARE(image.pixel(100, screen_y), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(101, screen_y), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(102, screen_y), qRgb(255, 255, 255));
    }
    // A single pixel set at logical (300, 200) covers a 2 x 2 block.
    picture.set_pixel(300, 200, common::kBrightRed);
    const QImage &with_pixel = picture.image();
    for (int dx = 0; dx < 2; ++dx)
        for (int dy = 0; dy < 2; ++dy)
            QCOMPARE(with_pixel.pixel(600 + dx, 400 + dy), qRgb(255, 0, 0));
    QCOMPARE(with_pixel.pixel(602, 400), qRgb(255, 255, 255));
}

void TestDisplayScale::picture_comes_along_to_another_screen_data()
{
    QTest::addColumn<double>("ratio");

    QTest::newRow("a screen at 100 %") << 1.0;
    QTest::newRow("a projector at 150 %") << 1.5;
    QTest::newRow("a screen at 300 %") << 3.0;
}

void TestDisplayScale::picture_comes_along_to_another_screen()
{
    QFETCH(double, ratio);
    test_support::FakeLoopHost host;
    converter::RecordingLines lines;
    test_support::TestWindow form(host, lines);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    graph::Surface &picture = form.picture();
    graph::draw_graph(picture, form.document().state, 1.0f, 1.0f);

    // The window moved to a screen of another scale: the graph is still there, the left edge of
    // the plot box dark and the paper beside it white, and drawing goes on at the new scale.
    picture.set_device_pixel_ratio(ratio);
    const QImage &image = picture.image();
    QCOMPARE(image.size(), QSize(static_cast<int>(std::ceil(660 * ratio)), static_cast<int>(std::ceil(480 * ratio))));
    const int y = static_cast<int>(78 * ratio);
    QVERIFY2(qGray(image.pixel(static_cast<int>(50 * ratio), y)) < 160, "the plot box is gone");
    QCOMPARE(image.pixel(static_cast<int>(45 * ratio), y), qRgb(255, 255, 255));
    picture.set_pixel(300, 200, common::kBrightRed);
    QCOMPARE(picture.image().pixel(static_cast<int>(std::ceil(300 * ratio)), static_cast<int>(std::ceil(200 * ratio))),
        qRgb(255, 0, 0));
}

int main(int argc, char *argv[])
{
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestDisplayScale test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_display_scale.moc"
