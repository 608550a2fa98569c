// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The readings as they were taken: where the raw trace of 計測 puts each reading, the trace drawn
// across the picture, and the live view's sweep on a 660 x 480 picture.

#include "graph/raw_trace.h"

#include "common/measurement_plan.h"
#include "common/measurement_state.h"
#include "common/palette.h"
#include "graph/surface.h"

#include <QTest>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <memory>

namespace {

bool is_red(const QImage &image, int x, int y) { return image.pixelColor(x, y) == QColor(255, 0, 0); }
bool is_white(const QImage &image, int x, int y) { return image.pixelColor(x, y) == QColor(255, 255, 255); }

int non_white_pixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != QColor(255, 255, 255))
                ++count;
    return count;
}

// True when nothing is drawn in the columns from `first_x` to the right edge.
bool blank_from(const QImage &image, int first_x)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = first_x; x < image.width(); ++x)
            if (image.pixelColor(x, y) != QColor(255, 255, 255))
                return false;
    return true;
}

}  // namespace

class TestRawTrace : public QObject {
    Q_OBJECT

private slots:
    void trace_x_data();
    void trace_x();
    void trace_y_data();
    void trace_y();
    void raw_trace();

    void first_reading_is_a_single_pixel_data();
    void first_reading_is_a_single_pixel();
    void points_are_two_pixels_apart();
    void sweep_restarts_after_passing_the_right_edge();
    void points_per_sweep_data();
    void points_per_sweep();
    void changed_area_covers_what_changed_data();
    void changed_area_covers_what_changed();
};

void TestRawTrace::trace_x_data()
{
    QTest::addColumn<int>("i");
    QTest::addColumn<int>("last_sample");
    QTest::addColumn<int>("x");

    // x = Int(660 / N x i), the division done first in double precision.
    QTest::newRow("10 ms 1 s, reading 0 at 0") << 0 << 100 << 0;
    QTest::newRow("10 ms 1 s, reading 1 at 6") << 1 << 100 << 6;
    QTest::newRow("10 ms 1 s, reading 2 at 13") << 2 << 100 << 13;
    QTest::newRow("10 ms 1 s, reading 3 at 19") << 3 << 100 << 19;
    QTest::newRow("10 ms 1 s, reading 4 at 26") << 4 << 100 << 26;
    QTest::newRow("10 ms 1 s, reading 5 at 33") << 5 << 100 << 33;
    QTest::newRow("10 ms 1 s, reading 100 at 660") << 100 << 100 << 660;
    QTest::newRow("1000 ms 1 s, reading 0 at 0") << 0 << 1 << 0;
    QTest::newRow("1000 ms 1 s, reading 1 at 660") << 1 << 1 << 660;
    QTest::newRow("1 ms 10 s, reading 10000 at 660") << 10000 << 10000 << 660;
    QTest::newRow("1 ms 10 s, reading 9999 at 659") << 9999 << 10000 << 659;
    // 660 / 67 rounds down, and 67 times it stays just below 660.
    QTest::newRow("N 67, reading 67 at 659, not 660") << 67 << 67 << 659;
    QTest::newRow("N 36, reading 27 at 494, not 495") << 27 << 36 << 494;
}

void TestRawTrace::trace_x()
{
    QFETCH(int, i);
    QFETCH(int, last_sample);
    QFETCH(int, x);

    QCOMPARE(graph::trace_x(i, last_sample, 660), x);
}

void TestRawTrace::trace_y_data()
{
    QTest::addColumn<int>("reading");
    QTest::addColumn<int>("y");

    QTest::newRow("0 at 240") << 0 << 240;
    QTest::newRow("255 at 36") << 255 << 36;
    QTest::newRow("-255 at 444") << -255 << 444;
    // A reading times 0.8 has a fifth as its fraction, never a half: each row rounds to nearest.
    QTest::newRow("1: 239.2 gives 239") << 1 << 239;
    QTest::newRow("2: 238.4 gives 238") << 2 << 238;
    QTest::newRow("3: 237.6 gives 238") << 3 << 238;
    QTest::newRow("4: 236.8 gives 237") << 4 << 237;
    QTest::newRow("-1: 240.8 gives 241") << -1 << 241;
    QTest::newRow("-3: 242.4 gives 242") << -3 << 242;
    QTest::newRow("128: 137.6 gives 138") << 128 << 138;
    QTest::newRow("-128: 342.4 gives 342") << -128 << 342;
    QTest::newRow("230: 56 exactly") << 230 << 56;
    QTest::newRow("20: 224 exactly") << 20 << 224;
}

void TestRawTrace::trace_y()
{
    QFETCH(int, reading);
    QFETCH(int, y);

    QCOMPARE(graph::trace_y(reading), y);
}

void TestRawTrace::raw_trace()
{
    // 250 ms for 1 s: N = 4, readings at x = 0, 165, 330, 495 and 660 (off the right edge).
    graph::Surface surface(660, 480);
    surface.set_pixel(600, 100, common::kBlack);
    auto state = std::make_unique<common::MeasurementState>();
    common::start_measurement(*state, 250, 1);
    QCOMPARE(state->last_sample, 4);
    const std::int16_t readings[] = {0, 255, -255, 0, 0};
    std::copy(std::begin(readings), std::end(readings), state->samples.begin());

    graph::draw_raw_trace(surface, *state);
    const QImage &image = surface.image();
    QVERIFY(is_white(image, 600, 100));  // the picture was cleared first
    QVERIFY(is_red(image, 0, 240));
    QVERIFY(is_red(image, 165, 36));
    QVERIFY(is_red(image, 330, 444));
    QVERIFY(is_red(image, 495, 240));
    QVERIFY(is_red(image, 659, 240));
    QVERIFY(is_white(image, 600, 239));
    QVERIFY(is_white(image, 600, 241));
    // The line from (165, 36) to (330, 444) passes its middle, (247.5, 240).
    QVERIFY(is_red(image, 247, 240) || is_red(image, 248, 240));
    QVERIFY(is_white(image, 100, 100));
}

void TestRawTrace::first_reading_is_a_single_pixel_data()
{
    QTest::addColumn<int>("reading");
    QTest::addColumn<int>("y");

    QTest::newRow("0 at y 240") << 0 << 240;
    QTest::newRow("255 at y 36") << 255 << 36;
    QTest::newRow("-255 at y 444") << -255 << 444;
    QTest::newRow("-1 at y 241, below 0") << -1 << 241;
    QTest::newRow("100 at y 160") << 100 << 160;
}

void TestRawTrace::first_reading_is_a_single_pixel()
{
    QFETCH(int, reading);
    QFETCH(int, y);

    graph::Surface surface(660, 480);
    graph::LiveSweep sweep;
    sweep.draw(surface, static_cast<std::int16_t>(reading));

    const QImage &image = surface.image();
    QVERIFY(is_red(image, 0, y));
    QCOMPARE(non_white_pixels(image), 1);
    QCOMPARE(sweep.last_x(), 0);
    QCOMPARE(sweep.points_in_sweep(), 1);
}

void TestRawTrace::points_are_two_pixels_apart()
{
    graph::Surface surface(660, 480);
    graph::LiveSweep sweep;
    for (int i = 0; i < 21; ++i) {
        // Reading 10 i lies at y = 240 - 8 i: every point at its own height.
        sweep.draw(surface, static_cast<std::int16_t>(10 * i));
        QCOMPARE(sweep.last_x(), 2 * i);
        QCOMPARE(sweep.points_in_sweep(), i + 1);
        const QImage &image = surface.image();
        QVERIFY2(is_red(image, 2 * i, 240 - 8 * i), qPrintable(QString::number(i)));
        // The line joins the previous point: half-way up the rise the column between is drawn.
        if (i > 0)
            QVERIFY(is_red(image, 2 * i - 1, 240 - 8 * i + 4) || is_red(image, 2 * i - 2, 240 - 8 * i + 4)
                || is_red(image, 2 * i, 240 - 8 * i + 4));
        QVERIFY(blank_from(image, 2 * i + 2));
    }
}

void TestRawTrace::sweep_restarts_after_passing_the_right_edge()
{
    graph::Surface surface(660, 480);
    graph::LiveSweep sweep;
    for (int i = 0; i < 332; ++i)
        sweep.draw(surface, 0);
    // The 332nd point lies at x = 662, beyond the 660 pixels; the line is drawn to the edge.
    QCOMPARE(sweep.last_x(), 662);
    QCOMPARE(sweep.points_in_sweep(), 332);
    QVERIFY(is_red(surface.image(), 659, 240));
    QVERIFY(is_red(surface.image(), 330, 240));

    // The 333rd reading clears the picture and starts again at x = 0 with a single pixel.
    sweep.draw(surface, 255);
    QCOMPARE(sweep.last_x(), 0);
    QCOMPARE(sweep.points_in_sweep(), 1);
    QVERIFY(is_red(surface.image(), 0, 36));
    QCOMPARE(non_white_pixels(surface.image()), 1);

    sweep.draw(surface, 255);
    QCOMPARE(sweep.last_x(), 2);
    QVERIFY(is_red(surface.image(), 2, 36));
    QVERIFY(blank_from(surface.image(), 4));
}

void TestRawTrace::points_per_sweep_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("points");

    // A sweep goes up to and including the first x greater than the width.
    QTest::newRow("660 pixels wide: 332 points, the last at 662") << 660 << 332;
    QTest::newRow("101 pixels wide: 52 points, the last at 102") << 101 << 52;
    QTest::newRow("102 pixels wide: 53 points, the last at 104") << 102 << 53;
    QTest::newRow("1 pixel wide: 2 points, the last at 2") << 1 << 2;
}

void TestRawTrace::points_per_sweep()
{
    QFETCH(int, width);
    QFETCH(int, points);

    graph::Surface surface(width, 480);
    graph::LiveSweep sweep;
    // Three sweeps: each ends with its last point and the next reading begins the next one.
    for (int sweep_number = 0; sweep_number < 3; ++sweep_number) {
        for (int i = 0; i < points; ++i) {
            sweep.draw(surface, 0);
            QCOMPARE(sweep.points_in_sweep(), i + 1);
        }
        QCOMPARE(sweep.last_x(), 2 * (points - 1));
        QVERIFY(sweep.last_x() > width);
        QVERIFY(sweep.last_x() - 2 <= width);
    }
}

void TestRawTrace::changed_area_covers_what_changed_data()
{
    // The window repaints only the part of the picture a drawing says it changed: a pixel left out
    // would stay stale on the screen.
    QTest::addColumn<QString>("drawing");
    QTest::addColumn<qreal>("ratio");      // the display's scale
    QTest::addColumn<int>("most_pixels");  // the largest area that drawing may name

    for (const qreal ratio : {1.0, 2.0}) {
        const QString scale = ratio > 1 ? QStringLiteral(", scaled display") : QString();
        QTest::addRow("a pixel%s", qPrintable(scale)) << "pixel" << ratio << 36;
        QTest::addRow("the sweep's next segment%s", qPrintable(scale)) << "segment" << ratio << 1500;
        QTest::addRow("a line into the corner%s", qPrintable(scale)) << "corner" << ratio << 2000;
        QTest::addRow("a line from far outside%s", qPrintable(scale)) << "far" << ratio << 660 * 480;
        QTest::addRow("a dotted circle%s", qPrintable(scale)) << "circle" << ratio << 900;
        QTest::addRow("a filled rectangle%s", qPrintable(scale)) << "rectangle" << ratio << 3000;
        QTest::addRow("a text%s", qPrintable(scale)) << "text" << ratio << 660 * 480;
        QTest::addRow("a line to no number%s", qPrintable(scale)) << "nan" << ratio << 660 * 480;
    }
}

void TestRawTrace::changed_area_covers_what_changed()
{
    QFETCH(QString, drawing);
    QFETCH(qreal, ratio);
    QFETCH(int, most_pixels);

    graph::Surface surface(660, 480, ratio);
    surface.line(100, 100, 110, 300, common::kBlack);
    const QImage before = surface.image().copy();
    QRect changed;
    surface.set_change_listener([&changed](const QRect &area) { changed |= area; });
    surface.move_to(200, 240);
    if (drawing == "pixel") {
        surface.set_pixel(300.4, 200.6, common::kBrightRed);
    } else if (drawing == "segment") {
        surface.line_to(202, 36, common::kBrightRed);
    } else if (drawing == "corner") {
        surface.line(640, 460, 659, 479, common::kBrightRed);
    } else if (drawing == "far") {
        surface.line(-1e6, -5e5, 330, 240, common::kBrightRed);
    } else if (drawing == "circle") {
        surface.set_line_style(graph::LineStyle::Dotted);
        surface.circle(50, 60, 12, common::kBrightBlue);
    } else if (drawing == "rectangle") {
        surface.set_fill_style(graph::FillStyle::Solid);
        surface.set_fill_colour(common::kBrightRed);
        surface.rectangle(420, 30, 380, 70, common::kBrightBlue);
    } else if (drawing == "text") {
        surface.print(QStringLiteral("速度 (cm/s)"));
    } else {
        surface.line(200, 240, std::numeric_limits<double>::quiet_NaN(), 10, common::kBrightRed);
    }

    const QImage &after = surface.image();
    int differing = 0;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x)
            if (after.pixel(x, y) != before.pixel(x, y)) {
                ++differing;
                const QPoint logical(static_cast<int>(x / ratio), static_cast<int>(y / ratio));
                QVERIFY2(changed.contains(logical),
                    qPrintable(QStringLiteral("(%1, %2) changed outside %3, %4 %5 x %6")
                                   .arg(logical.x())
                                   .arg(logical.y())
                                   .arg(changed.x())
                                   .arg(changed.y())
                                   .arg(changed.width())
                                   .arg(changed.height())));
            }
    QVERIFY(drawing == "nan" || differing > 0);
    QVERIFY(QRect(0, 0, 660, 480).contains(changed) || changed.isEmpty());
    QVERIFY2(changed.width() * changed.height() <= most_pixels,
        qPrintable(QString::number(changed.width() * changed.height())));
}

QTEST_MAIN(TestRawTrace)
#include "tst_raw_trace.moc"
