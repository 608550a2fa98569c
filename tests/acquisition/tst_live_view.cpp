// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The live view: the sweeping trace on a 660 x 480 picture, and the loop that feeds it on a fake
// tick counter until it is stopped.

#include "acquisition/live_view.h"
#include "acquisition/measurement.h"
#include "common/palette.h"
#include "fake_loop_host.h"
#include "graph/surface.h"

#include <QTest>

#include <cstdint>
#include <vector>

using test_support::FakeLoopHost;

namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;
constexpr std::int64_t kStartNs = 5'000 * kNsPerMs;
constexpr std::int64_t kStepNs = 250'000;

bool is_red(const QImage &image, int x, int y) { return image.pixelColor(x, y) == QColor(255, 0, 0); }

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

// As in the sampling loop of Measure: reading i starts in the pump after the one that brought the
// clock to its deadline.
bool started_on_time(std::int64_t reading_ns, std::int64_t deadline_ns)
{
    return reading_ns >= deadline_ns + kStepNs && reading_ns < deadline_ns + 2 * kStepNs;
}

}  // namespace

class TestLiveView : public QObject {
    Q_OBJECT

private slots:
    void init();

    void first_reading_is_a_single_pixel_data();
    void first_reading_is_a_single_pixel();
    void points_are_two_pixels_apart();
    void sweep_restarts_after_passing_the_right_edge();
    void points_per_sweep_data();
    void points_per_sweep();

    void stop_request_ends_the_run_data();
    void stop_request_ends_the_run();
    void cancelling_ends_the_run_at_once();
    void period_change_takes_effect_at_the_next_deadline();
    void one_stop_ends_a_nested_run_and_the_run_around_it();
};

void TestLiveView::init() { acquisition::stop_requested = 0; }

void TestLiveView::first_reading_is_a_single_pixel_data()
{
    QTest::addColumn<int>("reading");
    QTest::addColumn<int>("y");

    QTest::newRow("0 at y 240") << 0 << 240;
    QTest::newRow("255 at y 36") << 255 << 36;
    QTest::newRow("-255 at y 444") << -255 << 444;
    QTest::newRow("-1 at y 241, below 0") << -1 << 241;
    QTest::newRow("100 at y 160") << 100 << 160;
}

void TestLiveView::first_reading_is_a_single_pixel()
{
    QFETCH(int, reading);
    QFETCH(int, y);

    graph::Surface surface(660, 480);
    acquisition::LiveSweep sweep;
    sweep.draw(surface, static_cast<std::int16_t>(reading));

    const QImage &image = surface.image();
    QVERIFY(is_red(image, 0, y));
    QCOMPARE(non_white_pixels(image), 1);
    QCOMPARE(sweep.last_x(), 0);
    QCOMPARE(sweep.points_in_sweep(), 1);
}

void TestLiveView::points_are_two_pixels_apart()
{
    graph::Surface surface(660, 480);
    acquisition::LiveSweep sweep;
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

void TestLiveView::sweep_restarts_after_passing_the_right_edge()
{
    graph::Surface surface(660, 480);
    acquisition::LiveSweep sweep;
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

void TestLiveView::points_per_sweep_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("points");

    // A sweep goes up to and including the first x greater than the width.
    QTest::newRow("660 pixels wide: 332 points, the last at 662") << 660 << 332;
    QTest::newRow("101 pixels wide: 52 points, the last at 102") << 101 << 52;
    QTest::newRow("102 pixels wide: 53 points, the last at 104") << 102 << 53;
    QTest::newRow("1 pixel wide: 2 points, the last at 2") << 1 << 2;
}

void TestLiveView::points_per_sweep()
{
    QFETCH(int, width);
    QFETCH(int, points);

    graph::Surface surface(width, 480);
    acquisition::LiveSweep sweep;
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

void TestLiveView::stop_request_ends_the_run_data()
{
    QTest::addColumn<int>("stop_at_ms");  // -1: set before the run starts
    QTest::addColumn<int>("readings");

    // 10 ms period: readings at 0, 10, 20, 30, 40 ms, ...
    QTest::newRow("stop while waiting for 50 ms: 5 readings") << 45 << 5;
    QTest::newRow("stop in the pump after the wait for 50 ms: 5 readings") << 50 << 5;
    QTest::newRow("stop while waiting for 60 ms: 6 readings") << 51 << 6;
    QTest::newRow("stop already set: no reading") << -1 << 0;
}

void TestLiveView::stop_request_ends_the_run()
{
    QFETCH(int, stop_at_ms);
    QFETCH(int, readings);

    FakeLoopHost host(kStartNs, kStepNs);
    graph::Surface surface(660, 480);
    if (stop_at_ms < 0)
        acquisition::stop_requested = 1;
    else
        host.at_time_ns(kStartNs + stop_at_ms * kNsPerMs, [] { acquisition::stop_requested = 1; });
    std::vector<std::int64_t> reading_ns;
    acquisition::run_live_view(
        host, surface,
        [&] {
            reading_ns.push_back(host.fake_clock().now_ns());
            return std::int16_t{0};
        },
        [] { return 10; });

    QCOMPARE(reading_ns.size(), std::size_t(readings));
    QCOMPARE(host.active_loops(), 0);
    if (readings == 0) {
        QCOMPARE(host.pumps(), qint64{0});
        return;
    }
    for (std::size_t i = 1; i < reading_ns.size(); ++i)
        QVERIFY(started_on_time(reading_ns[i], kStartNs + std::int64_t(i) * 10 * kNsPerMs));
    // The wait in progress when the stop came still ran to its deadline.
    QVERIFY(started_on_time(host.fake_clock().now_ns(), kStartNs + readings * 10 * kNsPerMs));
    // The last reading drawn is the last point of the trace.
    QVERIFY(is_red(surface.image(), 2 * (readings - 1), 240));
    QVERIFY(blank_from(surface.image(), 2 * readings));
}

void TestLiveView::cancelling_ends_the_run_at_once()
{
    FakeLoopHost host(kStartNs, kStepNs);
    graph::Surface surface(660, 480);
    std::int64_t pumps_at_cancel = -1;
    host.at_time_ns(kStartNs + 45 * kNsPerMs, [&host, &pumps_at_cancel] {
        host.cancel_loops();
        pumps_at_cancel = host.pumps();
    });
    int readings = 0;
    acquisition::run_live_view(
        host, surface,
        [&readings] {
            ++readings;
            return std::int16_t{0};
        },
        [] { return 10; });

    QCOMPARE(readings, 5);
    QCOMPARE(host.pumps(), pumps_at_cancel);
}

void TestLiveView::period_change_takes_effect_at_the_next_deadline()
{
    // The period goes from 10 to 30 ms 25 ms in, while the loop waits for its 30 ms deadline:
    // readings at 0, 10, 20, 30, then 60, 90, 120; the stop at 125 ms ends the run after the wait
    // for 150 ms.
    FakeLoopHost host(kStartNs, kStepNs);
    graph::Surface surface(660, 480);
    int period_ms = 10;
    host.at_time_ns(kStartNs + 25 * kNsPerMs, [&period_ms] { period_ms = 30; });
    host.at_time_ns(kStartNs + 125 * kNsPerMs, [] { acquisition::stop_requested = 1; });
    std::vector<std::int64_t> reading_ns;
    acquisition::run_live_view(
        host, surface,
        [&] {
            reading_ns.push_back(host.fake_clock().now_ns());
            return std::int16_t{0};
        },
        [&period_ms] { return period_ms; });

    const std::vector<std::int64_t> deadlines_ms = {0, 10, 20, 30, 60, 90, 120};
    QCOMPARE(reading_ns.size(), deadlines_ms.size());
    QCOMPARE(reading_ns[0], kStartNs);
    for (std::size_t i = 1; i < reading_ns.size(); ++i)
        QVERIFY2(started_on_time(reading_ns[i], kStartNs + deadlines_ms[i] * kNsPerMs), qPrintable(QString::number(i)));
    QVERIFY(started_on_time(host.fake_clock().now_ns(), kStartNs + 150 * kNsPerMs));
}

void TestLiveView::one_stop_ends_a_nested_run_and_the_run_around_it()
{
    // A second run started from inside the first one's wait (the live button pressed again), then
    // one stop: the inner run ends at its next test, the outer one when control returns to it,
    // without another reading.
    FakeLoopHost host(kStartNs, kStepNs);
    graph::Surface surface(660, 480);
    int outer_readings = 0;
    int inner_readings = 0;
    int loops_while_nested = 0;
    host.at_time_ns(kStartNs + 15 * kNsPerMs, [&] {
        acquisition::stop_requested = 0;
        surface.clear();
        acquisition::run_live_view(
            host, surface,
            [&] {
                ++inner_readings;
                loops_while_nested = host.active_loops();
                return std::int16_t{-255};
            },
            [] { return 10; });
    });
    host.at_time_ns(kStartNs + 50 * kNsPerMs, [] { acquisition::stop_requested = 1; });
    acquisition::run_live_view(
        host, surface,
        [&outer_readings] {
            ++outer_readings;
            return std::int16_t{0};
        },
        [] { return 10; });

    // Outer readings at 0 and 10 ms; inner ones at 15, 25, 35 and 45 ms.
    QCOMPARE(outer_readings, 2);
    QCOMPARE(inner_readings, 4);
    QCOMPARE(loops_while_nested, 2);
    QCOMPARE(host.active_loops(), 0);
    // The picture shows the inner run's sweep only.
    QVERIFY(is_red(surface.image(), 6, 444));
    QVERIFY(!is_red(surface.image(), 0, 240));
}

QTEST_MAIN(TestLiveView)
#include "tst_live_view.moc"
