// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The loop of the live view on a fake tick counter until it is stopped, shown as the window
// shows it: a sweeping trace on a 660 x 480 picture.

#include "acquisition/live_view.h"
#include "acquisition/reading_queue.h"
#include "fake_loop_host.h"
#include "graph/raw_trace.h"
#include "graph/surface.h"

#include <QTest>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

using test_support::FakeLoopHost;

namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;
constexpr std::int64_t kStartNs = 5'000 * kNsPerMs;
constexpr std::int64_t kStepNs = 250'000;

bool is_red(const QImage &image, int x, int y) { return image.pixelColor(x, y) == QColor(255, 0, 0); }

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

// Shows each reading of one run as the next point of that run's sweep on `surface`.
std::function<void(std::int16_t)> sweep_on(graph::Surface &surface, graph::LiveSweep &sweep)
{
    return [&surface, &sweep](std::int16_t reading) { sweep.draw(surface, reading); };
}

}  // namespace

class TestLiveView : public QObject {
    Q_OBJECT

private slots:
    void stop_request_ends_the_run_data();
    void stop_request_ends_the_run();
    void cancelling_ends_the_run_at_once();
    void period_change_takes_effect_at_the_next_deadline();
    void one_stop_ends_a_nested_run_and_the_run_around_it();
    void readings_on_their_way_to_the_window_data();
    void readings_on_their_way_to_the_window();
};

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
    graph::LiveSweep sweep;
    std::atomic<std::int16_t> stop{0};
    if (stop_at_ms < 0)
        stop = 1;
    else
        host.at_time_ns(kStartNs + stop_at_ms * kNsPerMs, [&stop] { stop = 1; });
    std::vector<std::int64_t> reading_ns;
    acquisition::run_live_view(
        host,
        [&] {
            reading_ns.push_back(host.fake_clock().now_ns());
            return std::int16_t{0};
        },
        sweep_on(surface, sweep), [] { return 10; }, stop);

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
    graph::LiveSweep sweep;
    const std::atomic<std::int16_t> stop{0};
    std::int64_t pumps_at_cancel = -1;
    host.at_time_ns(kStartNs + 45 * kNsPerMs, [&host, &pumps_at_cancel] {
        host.cancel_loops();
        pumps_at_cancel = host.pumps();
    });
    int readings = 0;
    acquisition::run_live_view(
        host,
        [&readings] {
            ++readings;
            return std::int16_t{0};
        },
        sweep_on(surface, sweep), [] { return 10; }, stop);

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
    graph::LiveSweep sweep;
    std::atomic<std::int16_t> stop{0};
    int period_ms = 10;
    host.at_time_ns(kStartNs + 25 * kNsPerMs, [&period_ms] { period_ms = 30; });
    host.at_time_ns(kStartNs + 125 * kNsPerMs, [&stop] { stop = 1; });
    std::vector<std::int64_t> reading_ns;
    acquisition::run_live_view(
        host,
        [&] {
            reading_ns.push_back(host.fake_clock().now_ns());
            return std::int16_t{0};
        },
        sweep_on(surface, sweep), [&period_ms] { return period_ms; }, stop);

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
    // without another reading. Both runs test the same flag, as the window's runs do.
    FakeLoopHost host(kStartNs, kStepNs);
    graph::Surface surface(660, 480);
    graph::LiveSweep outer_sweep;
    graph::LiveSweep inner_sweep;
    std::atomic<std::int16_t> stop{0};
    int outer_readings = 0;
    int inner_readings = 0;
    int loops_while_nested = 0;
    host.at_time_ns(kStartNs + 15 * kNsPerMs, [&] {
        stop = 0;
        surface.clear();
        acquisition::run_live_view(
            host,
            [&] {
                ++inner_readings;
                loops_while_nested = host.active_loops();
                return std::int16_t{-255};
            },
            sweep_on(surface, inner_sweep), [] { return 10; }, stop);
    });
    host.at_time_ns(kStartNs + 50 * kNsPerMs, [&stop] { stop = 1; });
    acquisition::run_live_view(
        host,
        [&outer_readings] {
            ++outer_readings;
            return std::int16_t{0};
        },
        sweep_on(surface, outer_sweep), [] { return 10; }, stop);

    // Outer readings at 0 and 10 ms; inner ones at 15, 25, 35 and 45 ms.
    QCOMPARE(outer_readings, 2);
    QCOMPARE(inner_readings, 4);
    QCOMPARE(loops_while_nested, 2);
    QCOMPARE(host.active_loops(), 0);
    // The picture shows the inner run's sweep only.
    QVERIFY(is_red(surface.image(), 6, 444));
    QVERIFY(!is_red(surface.image(), 0, 240));
}

void TestLiveView::readings_on_their_way_to_the_window_data()
{
    QTest::addColumn<int>("taken_before");  // readings put in and taken out before
    QTest::addColumn<int>("pushed");
    QTest::addColumn<int>("kept");

    constexpr int capacity = static_cast<int>(acquisition::ReadingQueue::kCapacity);
    QTest::newRow("a full queue") << 0 << capacity << capacity;
    QTest::newRow("one past full: the last refused") << 0 << capacity + 1 << capacity;
    QTest::newRow("full across the end of the ring") << 40'000 << capacity << capacity;
    QTest::newRow("one past full across the end") << 40'000 << capacity + 1 << capacity;
}

void TestLiveView::readings_on_their_way_to_the_window()
{
    QFETCH(int, taken_before);
    QFETCH(int, pushed);
    QFETCH(int, kept);

    auto queue = std::make_unique<acquisition::ReadingQueue>();
    for (int i = 0; i < taken_before; ++i)
        QVERIFY(queue->push(static_cast<std::int16_t>(i % 256)));
    QCOMPARE(static_cast<int>(queue->take_all().size()), taken_before);
    int refused = 0;
    for (int i = 0; i < pushed; ++i)
        refused += queue->push(static_cast<std::int16_t>(i % 256)) ? 0 : 1;

    // Each reading kept comes out once, in the order it went in; the ones past full are refused.
    const std::vector<std::int16_t> taken = queue->take_all();
    QCOMPARE(static_cast<int>(taken.size()), kept);
    QCOMPARE(refused, pushed - kept);
    for (int i = 0; i < kept; ++i)
        QCOMPARE(taken[static_cast<std::size_t>(i)], static_cast<std::int16_t>(i % 256));
    QVERIFY(queue->take_all().empty());
    QVERIFY(queue->push(7));
}

QTEST_MAIN(TestLiveView)
#include "tst_live_view.moc"
