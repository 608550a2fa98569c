// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The fitted line and distance curve over the graph, and the printed fit results.

#include "graph/fit_overlay.h"

#include <QColor>
#include <QHash>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

int count_colour(const std::vector<graph::OverlayDot> &dots, int colour)
{
    return static_cast<int>(std::count_if(dots.begin(), dots.end(), [&](const auto &d) { return d.colour == colour; }));
}

}  // namespace

class TestFitOverlay : public QObject {
    Q_OBJECT

private slots:
    void firstDots_data();
    void firstDots();
    void passes_data();
    void passes();
    void topOfTheBox_data();
    void topOfTheBox();
    void coordinatesBeyondIntegers_data();
    void coordinatesBeyondIntegers();
    void drawFitSetsTheDots();
};

void TestFitOverlay::firstDots_data()
{
    QTest::addColumn<float>("initial_velocity");
    QTest::addColumn<float>("acceleration");
    QTest::addColumn<float>("y_zoom");
    QTest::addColumn<int>("velocity_y");  // at t = 0, x = 50
    QTest::addColumn<int>("distance_y");

    // 390 - Int(6.675 x 33 / 20) = 390 - Int(11.01...) = 379.
    QTest::newRow("fit of the accelerating cart") << 6.675f << 98.5f << 1.0f << 379 << 390;
    // Int is the floor, also below zero: 390 - Int(-82.5) = 473, under the box and kept.
    QTest::newRow("negative velocity floors away from zero") << -50.0f << 0.0f << 1.0f << 473 << 390;
    QTest::newRow("vertical enlargement") << 20.0f << 100.0f << 2.0f << 324 << 390;
}

void TestFitOverlay::firstDots()
{
    QFETCH(float, initial_velocity);
    QFETCH(float, acceleration);
    QFETCH(float, y_zoom);
    QFETCH(int, velocity_y);
    QFETCH(int, distance_y);

    const std::vector<graph::OverlayDot> dots = graph::fit_overlay_dots(initial_velocity, acceleration, 1.0f, y_zoom);
    QVERIFY(dots.size() >= 2);
    QCOMPARE(dots[0].x, 50);
    QCOMPARE(dots[0].y, velocity_y);
    QCOMPARE(dots[0].colour, common::kBrightBlue);
    QCOMPARE(dots[1].x, 50);
    QCOMPARE(dots[1].y, distance_y);
    QCOMPARE(dots[1].colour, common::kBrightRed);
}

void TestFitOverlay::passes_data()
{
    QTest::addColumn<float>("x_zoom");
    QTest::addColumn<int>("passes");

    QTest::newRow("scale 1") << 1.0f << 701;
    QTest::newRow("enlarged once") << 2.0f << 701;
    QTest::newRow("reduced once") << 0.5f << 701;
    QTest::newRow("enlarged 10 times") << 1024.0f << 701;
    QTest::newRow("enlarged 100 times") << std::ldexp(1.0f, 100) << 701;
    QTest::newRow("reduced to the smallest normal float") << std::ldexp(1.0f, -126) << 701;
    // 0.7 / x_zoom would not fit a float: the loop could never end.
    QTest::newRow("reduced into subnormal floats") << std::ldexp(1.0f, -140) << 0;
    QTest::newRow("zero") << 0.0f << 0;
    QTest::newRow("negative") << -1.0f << 0;
    QTest::newRow("infinite") << std::numeric_limits<float>::infinity() << 0;
    QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << 0;
}

void TestFitOverlay::passes()
{
    QFETCH(float, x_zoom);
    QFETCH(int, passes);

    // A line at rest on the axis: every pass gives one blue and one red dot at y = 390.
    const std::vector<graph::OverlayDot> dots = graph::fit_overlay_dots(0, 0, x_zoom, 1.0f);
    QCOMPARE(count_colour(dots, common::kBrightBlue), passes);
    QCOMPARE(count_colour(dots, common::kBrightRed), passes);
    if (passes == 0)
        return;
    // The curves span the box: x from 50 to 609, never going back.
    QCOMPARE(dots.front().x, 50);
    QCOMPARE(dots.back().x, 609);
    for (std::size_t i = 1; i < dots.size(); ++i)
        QVERIFY(dots[i].x >= dots[i - 1].x);
    for (const graph::OverlayDot &dot : dots)
        QCOMPARE(dot.y, 390);
}

void TestFitOverlay::topOfTheBox_data()
{
    QTest::addColumn<float>("initial_velocity");
    QTest::addColumn<int>("velocity_dots");

    // 390 - Int(200 x 33 / 20) = 60 exactly: not drawn, unlike a disc at y = 60.
    QTest::newRow("y exactly 60 is not drawn") << 200.0f << 0;
    // 390 - Int(329.98...) = 61.
    QTest::newRow("y 61 is drawn") << 199.99f << 701;
}

void TestFitOverlay::topOfTheBox()
{
    QFETCH(float, initial_velocity);
    QFETCH(int, velocity_dots);

    const std::vector<graph::OverlayDot> dots = graph::fit_overlay_dots(initial_velocity, 0, 1.0f, 1.0f);
    QCOMPARE(count_colour(dots, common::kBrightBlue), velocity_dots);
    // The distance of about 200 t cm reaches the top of the box near t = 0.15 s, after some 150
    // passes (which pass exactly depends on the float steps of t); no red dot lies above it.
    for (const graph::OverlayDot &dot : dots)
        QVERIFY(dot.y > 60);
    const int distance_dots = count_colour(dots, common::kBrightRed);
    QVERIFY2(distance_dots >= 150 && distance_dots <= 151, qPrintable(QString::number(distance_dots)));
}

void TestFitOverlay::coordinatesBeyondIntegers_data()
{
    QTest::addColumn<float>("initial_velocity");
    QTest::addColumn<float>("y_zoom");
    QTest::addColumn<int>("velocity_dots");
    QTest::addColumn<int>("velocity_y");   // of every velocity dot
    QTest::addColumn<bool>("origin_dot");  // the distance dot at t = 0, where s = 0

    const float inf = std::numeric_limits<float>::infinity();
    // 100 x 33 / 20 x 2^23 = 1384120320 is a 32-bit integer; under the box the dots are kept.
    QTest::newRow("23 enlargements, falling") << -100.0f << std::ldexp(1.0f, 23) << 701 << 1384120710 << true;
    // 100 x 33 / 20 x 2^24 = 2768240640 is not: those dots are left out.
    QTest::newRow("24 enlargements, falling") << -100.0f << std::ldexp(1.0f, 24) << 0 << 0 << true;
    QTest::newRow("60 enlargements, rising") << 100.0f << std::ldexp(1.0f, 60) << 0 << 0 << true;
    QTest::newRow("60 enlargements, falling") << -100.0f << std::ldexp(1.0f, 60) << 0 << 0 << true;
    QTest::newRow("largest float") << 100.0f << std::numeric_limits<float>::max() << 0 << 0 << true;
    // 0 x infinity is not a number: no dot at all.
    QTest::newRow("infinite") << 100.0f << inf << 0 << 0 << false;
}

void TestFitOverlay::coordinatesBeyondIntegers()
{
    QFETCH(float, initial_velocity);
    QFETCH(float, y_zoom);
    QFETCH(int, velocity_dots);
    QFETCH(int, velocity_y);
    QFETCH(bool, origin_dot);

    const std::vector<graph::OverlayDot> dots = graph::fit_overlay_dots(initial_velocity, 0, 1.0f, y_zoom);
    QCOMPARE(count_colour(dots, common::kBrightBlue), velocity_dots);
    for (const graph::OverlayDot &dot : dots) {
        if (dot.colour == common::kBrightBlue)
            QCOMPARE(dot.y, velocity_y);
    }
    const bool has_origin = std::any_of(dots.begin(), dots.end(),
        [](const auto &d) { return d.colour == common::kBrightRed && d.x == 50 && d.y == 390; });
    QCOMPARE(has_origin, origin_dot);
}

void TestFitOverlay::drawFitSetsTheDots()
{
    const float v0 = 6.675f;
    const float a = 98.5f;
    graph::Surface surface(660, 480);
    surface.set_text_colour(common::kBrightRed);
    surface.set_pixel(600, 100, common::kBrightBlue);  // stands for the graph underneath
    graph::draw_fit(surface, v0, a, 1.0f, 1.0f);

    QCOMPARE(surface.text_colour(), common::kBlack);
    const QImage &image = surface.image();
    // Drawn over the picture, not in place of it.
    QCOMPARE(image.pixelColor(600, 100), QColor(0, 0, 255));
    QCOMPARE(image.pixelColor(50, 379), QColor(0, 0, 255));
    QCOMPARE(image.pixelColor(50, 390), QColor(255, 0, 0));

    // Every dot is set in its colour; where two dots share a pixel the later one shows.
    QHash<QPoint, int> expected;
    for (const graph::OverlayDot &dot : graph::fit_overlay_dots(v0, a, 1.0f, 1.0f))
        expected.insert(QPoint(dot.x, dot.y), dot.colour);
    QVERIFY(expected.size() > 700);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QColor want = it.value() == common::kBrightBlue ? QColor(0, 0, 255) : QColor(255, 0, 0);
        QCOMPARE(image.pixelColor(it.key()), want);
    }
    // Elsewhere in the box nothing is drawn.
    QCOMPARE(image.pixelColor(300, 300), QColor(Qt::white));
}

QTEST_MAIN(TestFitOverlay)
#include "tst_fit_overlay.moc"
