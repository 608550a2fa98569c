// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The deadline wait: it polls the tick counter between event pumps, pumps at least once, and lets
// the window's events (here Qt's own) run while it waits.

#include "acquisition/wait_till.h"
#include "common/ticks.h"
#include "fake_loop_host.h"

#include <QCoreApplication>
#include <QTest>
#include <QTimer>

#include <cstdint>

using test_support::FakeLoopHost;

namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;
constexpr std::int64_t kStartNs = 9'000 * kNsPerMs;  // tick 9000

}  // namespace

class TestWaitTill : public QObject {
    Q_OBJECT

private slots:
    void pumps_until_the_deadline_data();
    void pumps_until_the_deadline();
    void deadline_across_the_tick_wrap();
    void qt_events_run_during_the_wait();
    void a_handler_in_the_wait_can_end_it();
    void cancelling_ends_the_wait_at_once_data();
    void cancelling_ends_the_wait_at_once();
    void schedule_deadlines_are_absolute();
};

void TestWaitTill::pumps_until_the_deadline_data()
{
    QTest::addColumn<int>("deadline_after_ms");  // relative to tick 9000 at the start
    QTest::addColumn<qint64>("step_ns");
    QTest::addColumn<qint64>("pumps");

    QTest::newRow("deadline long past: one pump") << -1000 << qint64{250'000} << qint64{1};
    QTest::newRow("deadline 1 ms past: one pump") << -1 << qint64{250'000} << qint64{1};
    QTest::newRow("deadline now: one pump") << 0 << qint64{250'000} << qint64{1};
    QTest::newRow("deadline now, clock standing still: one pump") << 0 << qint64{0} << qint64{1};
    QTest::newRow("1 ms ahead at 0.25 ms a pump: 4 pumps") << 1 << qint64{250'000} << qint64{4};
    QTest::newRow("3 ms ahead at 0.25 ms a pump: 12 pumps") << 3 << qint64{250'000} << qint64{12};
    QTest::newRow("1 ms ahead at 0.3 ms a pump: 4 pumps") << 1 << qint64{300'000} << qint64{4};
    QTest::newRow("1 ms ahead at 1 ms a pump: 1 pump") << 1 << qint64{1'000'000} << qint64{1};
    QTest::newRow("10 ms ahead at 4 ms a pump: 3 pumps") << 10 << qint64{4'000'000} << qint64{3};
}

void TestWaitTill::pumps_until_the_deadline()
{
    QFETCH(int, deadline_after_ms);
    QFETCH(qint64, step_ns);
    QFETCH(qint64, pumps);

    FakeLoopHost host(kStartNs, step_ns);
    const common::Tick deadline = common::tick_add(host.tick_count(), deadline_after_ms);
    acquisition::WaitTill(host, deadline);

    QCOMPARE(host.pumps(), pumps);
    QVERIFY(common::tick_reached(host.tick_count(), deadline));
    // It returned at the first pump after which the deadline was reached, not later.
    if (host.pumps() > 1)
        QVERIFY(!common::tick_reached(common::tick_from_ns(host.fake_clock().now_ns() - step_ns), deadline));
}

void TestWaitTill::deadline_across_the_tick_wrap()
{
    // The counter stands 2 ms below 2^31; the deadline 3 ms ahead is a negative tick.
    FakeLoopHost host((std::int64_t{1} << 31) * kNsPerMs - 2 * kNsPerMs, 250'000);
    const common::Tick deadline = common::tick_add(host.tick_count(), 3);
    QVERIFY(deadline < 0);
    acquisition::WaitTill(host, deadline);
    QCOMPARE(host.pumps(), qint64{12});
    QCOMPARE(host.tick_count(), deadline);
}

void TestWaitTill::qt_events_run_during_the_wait()
{
    FakeLoopHost host(kStartNs, 250'000);
    bool timer_ran = false;
    bool queued_call_ran = false;
    QTimer::singleShot(0, this, [&timer_ran] { timer_ran = true; });
    QMetaObject::invokeMethod(
        this, [&queued_call_ran] { queued_call_ran = true; }, Qt::QueuedConnection);
    QVERIFY(!timer_ran);
    QVERIFY(!queued_call_ran);

    acquisition::WaitTill(host, common::tick_add(host.tick_count(), 2));
    QVERIFY(timer_ran);
    QVERIFY(queued_call_ran);
    QCOMPARE(host.pumps(), qint64{8});
}

void TestWaitTill::a_handler_in_the_wait_can_end_it()
{
    // A handler that runs inside the wait sees and changes the world before the next poll: here it
    // moves the clock past the deadline, so the wait ends after that one pump.
    FakeLoopHost host(kStartNs, 250'000);
    QMetaObject::invokeMethod(
        this, [&host] { host.fake_clock().advance_ms(500); }, Qt::QueuedConnection);
    acquisition::WaitTill(host, common::tick_add(host.tick_count(), 100));
    QCOMPARE(host.pumps(), qint64{1});
}

void TestWaitTill::cancelling_ends_the_wait_at_once_data()
{
    QTest::addColumn<bool>("blocking");  // the host sleeps in its pump while the deadline is far
    QTest::addColumn<int>("cancel_at_ms");
    QTest::addColumn<qint64>("pumps");
    QTest::addColumn<qint64>("ended_at_ns");

    QTest::newRow("polling host, cancelled at 1 ms") << false << 1 << qint64{5} << qint64{kStartNs + 1'250'000};
    QTest::newRow("sleeping host, cancelled at 50 ms") << true << 50 << qint64{1} << qint64{kStartNs + 50 * kNsPerMs};
    QTest::newRow("sleeping host, cancelled at the start") << true << 0 << qint64{1} << qint64{kStartNs + 250'000};
}

void TestWaitTill::cancelling_ends_the_wait_at_once()
{
    QFETCH(bool, blocking);
    QFETCH(int, cancel_at_ms);
    QFETCH(qint64, pumps);
    QFETCH(qint64, ended_at_ns);

    FakeLoopHost host(kStartNs, 250'000);
    host.set_blocking(blocking);
    host.at_time_ns(kStartNs + cancel_at_ms * kNsPerMs, [&host] { host.cancel_loops(); });
    acquisition::WaitTill(host, common::tick_add(host.tick_count(), 60'000));
    QCOMPARE(host.pumps(), pumps);
    QCOMPARE(host.fake_clock().now_ns(), ended_at_ns);
    QCOMPARE(host.quiet_sleeps(), qint64{0});
}

void TestWaitTill::schedule_deadlines_are_absolute()
{
    FakeLoopHost host(kStartNs, 250'000);
    acquisition::SamplingSchedule schedule(host);
    QCOMPARE(schedule.deadline(), common::Tick{9'000});

    // A wait that starts late does not move the deadlines on from where it started.
    host.fake_clock().advance_ms(25);
    QVERIFY(schedule.wait_next(10));
    QCOMPARE(schedule.deadline(), common::Tick{9'010});
    QCOMPARE(host.pumps(), qint64{2});  // one in the wait, one after it
    QVERIFY(schedule.wait_next(10));
    QCOMPARE(schedule.deadline(), common::Tick{9'020});
    QVERIFY(schedule.wait_next(10));
    QCOMPARE(schedule.deadline(), common::Tick{9'030});
    QCOMPARE(host.tick_count(), common::Tick{9'030});
    QVERIFY(schedule.wait_next(5));
    QCOMPARE(schedule.deadline(), common::Tick{9'035});
    QCOMPARE(host.tick_count(), common::Tick{9'035});
}

QTEST_GUILESS_MAIN(TestWaitTill)
#include "tst_wait_till.moc"
