// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The deadline wait sleeps in the event pump while the deadline is far and without pumping for its
// last stretch, still handles every event that arrives while it is in the pump, and returns when
// the tick counter reaches the deadline, never before.

#include "acquisition/precise_sleep.h"
#include "acquisition/qt_loop_host.h"
#include "acquisition/thread_loop_host.h"
#include "acquisition/wait_till.h"
#include "common/clock.h"
#include "fake_loop_host.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <thread>

using test_support::FakeLoopHost;

namespace {

constexpr std::int64_t kMs = 1'000'000;

}  // namespace

class TestBlockingWait : public QObject {
    Q_OBJECT

private slots:
    void wait_follows_its_plan_data();
    void wait_follows_its_plan();
    void event_arriving_while_blocked_is_handled_at_once();
    void deadline_moment_across_the_wrap();
    void spin_lead_learns_how_late_the_system_wakes_data();
    void spin_lead_learns_how_late_the_system_wakes();
    void clock_counts_finer_than_a_millisecond();
    void precise_sleep_never_ends_early_data();
    void precise_sleep_never_ends_early();
    void real_host_keeps_the_deadline_data();
    void real_host_keeps_the_deadline();
};

void TestBlockingWait::wait_follows_its_plan_data()
{
    QTest::addColumn<qint64>("start_in_ms_ns");  // where in its millisecond the wait starts
    QTest::addColumn<int>("ahead_ms");           // the deadline, in ticks after the start
    QTest::addColumn<qint64>("spin_lead_ns");
    QTest::addColumn<qint64>("blocked_ns");  // in the event pump
    QTest::addColumn<qint64>("slept_ns");    // asleep without pumping
    QTest::addColumn<qint64>("spun_ns");     // polling the clock
    QTest::addColumn<int>("blocking_waits");

    const qint64 lead = 50'000;
    QTest::newRow("1 ms: asleep 0.95 ms, polls 50 µs")
        << qint64{0} << 1 << lead << qint64{0} << qint64{950'000} << lead << 0;
    QTest::newRow("2 ms: asleep 1.95 ms, polls 50 µs")
        << qint64{0} << 2 << lead << qint64{0} << qint64{1'950'000} << lead << 0;
    QTest::newRow("10 ms: 8 ms in the pump, the last 2 ms quiet")
        << qint64{0} << 10 << lead << qint64{8 * kMs} << qint64{1'950'000} << lead << 1;
    QTest::newRow("100 ms: 98 ms in the pump, the last 2 ms quiet")
        << qint64{0} << 100 << lead << qint64{98 * kMs} << qint64{1'950'000} << lead << 1;
    QTest::newRow("1 ms after a reading of 0.3 ms")
        << qint64{300'000} << 1 << lead << qint64{0} << qint64{650'000} << lead << 0;
    QTest::newRow("30 µs left: polls only")
        << qint64{970'000} << 1 << lead << qint64{0} << qint64{0} << qint64{30'000} << 0;
    QTest::newRow("1 ms on a timer that needs 1 ms: polls throughout")
        << qint64{0} << 1 << qint64{kMs} << qint64{0} << qint64{0} << qint64{kMs} << 0;
    QTest::newRow("deadline passed: one pump and nothing else")
        << qint64{0} << -5 << lead << qint64{0} << qint64{0} << qint64{0} << 0;
    QTest::newRow("deadline now: one pump and nothing else")
        << qint64{0} << 0 << lead << qint64{0} << qint64{0} << qint64{0} << 0;
}

void TestBlockingWait::wait_follows_its_plan()
{
    QFETCH(qint64, start_in_ms_ns);
    QFETCH(int, ahead_ms);
    QFETCH(qint64, spin_lead_ns);
    QFETCH(qint64, blocked_ns);
    QFETCH(qint64, slept_ns);
    QFETCH(qint64, spun_ns);
    QFETCH(int, blocking_waits);

    // The pump takes no time here, so that the stretches add up to the whole wait.
    FakeLoopHost host(1'000 * kMs + start_in_ms_ns, 0);
    host.set_blocking(true);
    host.set_spin_lead_ns(spin_lead_ns);
    bool event_handled = false;
    QMetaObject::invokeMethod(
        this, [&event_handled] { event_handled = true; }, Qt::QueuedConnection);
    const common::Tick deadline = common::tick_add(host.tick_count(), ahead_ms);
    acquisition::WaitTill(host, deadline);

    QCOMPARE(host.pumps(), 1);
    QVERIFY(event_handled);  // a window event waiting at the start is handled in the wait's pump
    QCOMPARE(host.blocked_ns(), blocked_ns);
    QCOMPARE(host.slept_ns(), slept_ns);
    QCOMPARE(host.spun_ns(), spun_ns);
    QCOMPARE(host.blocking_waits(), blocking_waits);
    QCOMPARE(host.quiet_sleeps(), slept_ns + spun_ns > 0 ? 1 : 0);
    // It returns the moment the counter reaches the deadline.
    if (ahead_ms > 0)
        QCOMPARE(host.fake_clock().now_ns(), (1'000 + ahead_ms) * kMs);
}

void TestBlockingWait::event_arriving_while_blocked_is_handled_at_once()
{
    FakeLoopHost host(1'000 * kMs);
    host.set_blocking(true);
    std::int64_t handled_at = -1;
    // At 3 ms, while the wait sleeps, something posts an event to the window.
    host.at_time_ns(1'003 * kMs, [&] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [&] { handled_at = host.fake_clock().now_ns(); }, Qt::QueuedConnection);
    });
    const common::Tick deadline = common::tick_add(host.tick_count(), 10);
    acquisition::WaitTill(host, deadline);

    QCOMPARE(handled_at, 1'003 * kMs);
    QVERIFY(common::tick_reached(host.tick_count(), deadline));
    QCOMPARE(host.fake_clock().now_ns(), 1'010 * kMs);
    // Asleep until the event, then asleep again until shortly before the deadline.
    QCOMPARE(host.blocking_waits(), 2);
}

void TestBlockingWait::deadline_moment_across_the_wrap()
{
    // The counter wraps from 2^31 - 1 to -2^31 at 2^31 ms of the clock.
    const std::int64_t wrap_ms = std::int64_t{1} << 31;
    const std::int64_t now_ns = (wrap_ms - 3) * kMs + 400'000;
    const common::Tick deadline = common::tick_add(common::tick_from_ns(now_ns), 5);
    QVERIFY(deadline < 0);
    QCOMPARE(acquisition::deadline_moment_ns(now_ns, deadline), (wrap_ms + 2) * kMs);
    // A deadline already passed lies in the past.
    QVERIFY(acquisition::deadline_moment_ns(now_ns, common::tick_add(common::tick_from_ns(now_ns), -2)) < now_ns);
}

void TestBlockingWait::spin_lead_learns_how_late_the_system_wakes_data()
{
    QTest::addColumn<QList<qint64>>("late_ns");  // how late each wake-up came
    QTest::addColumn<qint64>("lead_ns");         // the lead afterwards, from 50 µs within 20 µs..1 ms
    QTest::addColumn<qint64>("limit_ns");        // a limit set before the wake-ups, -1 none; lifted at the end
    QTest::addColumn<qint64>("lifted_ns");       // the lead once the limit is lifted

    QTest::newRow("no wake-up yet: 50 µs") << QList<qint64>{} << qint64{50'000} << qint64{-1} << qint64{50'000};
    QTest::newRow("100 wake-ups in time lower it by 20 µs")
        << QList<qint64>(100, 10'000) << qint64{30'000} << qint64{-1} << qint64{30'000};
    QTest::newRow("early wake-ups lower it too")
        << QList<qint64>(10, -300'000) << qint64{48'000} << qint64{-1} << qint64{48'000};
    QTest::newRow("never below 20 µs") << QList<qint64>(1'000, 0) << qint64{20'000} << qint64{-1} << qint64{20'000};
    QTest::newRow("a wake-up later than the lead raises it by 19.8 µs")
        << QList<qint64>{60'000} << qint64{69'800} << qint64{-1} << qint64{69'800};
    QTest::newRow("a stall of 4 ms raises it by one step only")
        << QList<qint64>{4'000'000} << qint64{69'800} << qint64{-1} << qint64{69'800};
    QTest::newRow("never above 1 ms") << QList<qint64>(100, 2'000'000) << qint64{1'000'000} << qint64{-1}
                                      << qint64{1'000'000};
    QList<qint64> one_in_a_hundred(99, 10'000);
    one_in_a_hundred.append(200'000);
    QTest::newRow("a limit holds a learnt lead down, and keeps what it learns")
        << QList<qint64>(10, 300'000) << qint64{30'000} << qint64{30'000} << qint64{248'000};
    QTest::newRow("a limit below the least polls the least")
        << QList<qint64>{} << qint64{20'000} << qint64{0} << qint64{50'000};
    QTest::newRow("a limit above the lead changes nothing")
        << QList<qint64>(100, 10'000) << qint64{30'000} << qint64{50'000} << qint64{30'000};
    QTest::newRow("one late wake-up in a hundred holds it")
        << one_in_a_hundred << qint64{50'000} << qint64{-1} << qint64{50'000};
}

void TestBlockingWait::spin_lead_learns_how_late_the_system_wakes()
{
    QFETCH(QList<qint64>, late_ns);
    QFETCH(qint64, lead_ns);
    QFETCH(qint64, limit_ns);
    QFETCH(qint64, lifted_ns);
    acquisition::SpinLead lead(50'000, 20'000, 1'000'000);
    if (limit_ns >= 0)
        lead.limit(limit_ns);
    for (const qint64 late : late_ns)
        lead.observe(late);
    QCOMPARE(lead.ns(), lead_ns);
    lead.limit(acquisition::kNoSpinLimit);
    QCOMPARE(lead.ns(), lifted_ns);
}

void TestBlockingWait::clock_counts_finer_than_a_millisecond()
{
    // The deadlines are whole milliseconds of this clock: a counter that moved in steps of 10 to
    // 16 ms (GetTickCount on Windows) would take readings meant 1 ms apart in bursts.
    std::int64_t largest_step_ns = 0;
    std::int64_t previous_ns = acquisition::monotonic_now_ns();
    for (int steps = 0; steps < 1000;) {
        const std::int64_t now_ns = acquisition::monotonic_now_ns();
        if (now_ns != previous_ns) {
            largest_step_ns = std::max(largest_step_ns, now_ns - previous_ns);
            previous_ns = now_ns;
            ++steps;
        }
    }
    QVERIFY2(largest_step_ns < kMs, qPrintable(QString::number(largest_step_ns)));
}

void TestBlockingWait::precise_sleep_never_ends_early_data()
{
    QTest::addColumn<int>("timer");
    QTest::addColumn<qint64>("ahead_ns");
    const int best = static_cast<int>(acquisition::kBestSleepTimer);
    QTest::newRow("already passed") << best << qint64{-kMs};
    QTest::newRow("30 µs: shorter than the lead") << best << qint64{30'000};
    QTest::newRow("1 ms") << best << qint64{kMs};
    QTest::newRow("3 ms") << best << qint64{3 * kMs};
#ifdef _WIN32
    // Where Windows has no high-resolution timer: a waitable timer, or Sleep, with the system timer
    // at 1 ms.
    QTest::newRow("waitable timer at 1 ms: 1 ms")
        << static_cast<int>(acquisition::SleepTimer::Millisecond) << qint64{kMs};
    QTest::newRow("waitable timer at 1 ms: 3 ms")
        << static_cast<int>(acquisition::SleepTimer::Millisecond) << qint64{3 * kMs};
    QTest::newRow("Sleep at 1 ms: 1 ms") << static_cast<int>(acquisition::SleepTimer::SleepCall) << qint64{kMs};
    QTest::newRow("Sleep at 1 ms: 3 ms") << static_cast<int>(acquisition::SleepTimer::SleepCall) << qint64{3 * kMs};
    // Under Wine, ntdll's delay on the host's sleep; on Windows itself the high-resolution timer.
    QTest::newRow("ntdll's delay: 1 ms") << static_cast<int>(acquisition::SleepTimer::HostDelay) << qint64{kMs};
#endif
}

void TestBlockingWait::precise_sleep_never_ends_early()
{
    QFETCH(int, timer);
    QFETCH(qint64, ahead_ns);
    acquisition::PreciseSleep sleep(static_cast<acquisition::SleepTimer>(timer));
#ifdef _WIN32
    if (timer == static_cast<int>(acquisition::kBestSleepTimer)
        || timer == static_cast<int>(acquisition::SleepTimer::HostDelay))
        QVERIFY(sleep.timer() == acquisition::SleepTimer::HighResolution
            || sleep.timer() == acquisition::SleepTimer::HostDelay);
    else
#endif
        QCOMPARE(static_cast<int>(sleep.timer()), timer);
    for (int i = 0; i < 20; ++i) {
        const std::int64_t until_ns = acquisition::monotonic_now_ns() + ahead_ns;
        sleep.sleep_until(until_ns);
        QVERIFY(acquisition::monotonic_now_ns() >= until_ns);
    }
}

void TestBlockingWait::real_host_keeps_the_deadline_data()
{
    QTest::addColumn<int>("ahead_ms");
    QTest::addColumn<int>("timer_ms");       // a Qt timer that fires inside the wait; -1 for none
    QTest::addColumn<QString>("host_kind");  // "qt", or the sampling thread's: "thread", "cancelled"
    QTest::newRow("40 ms: blocks in the pump and handles a timer") << 40 << 5 << "qt";
    QTest::newRow("1 ms: sleeps quietly") << 1 << -1 << "qt";
    QTest::newRow("3 ms") << 3 << -1 << "qt";
    QTest::newRow("the sampling thread's host, 40 ms") << 40 << -1 << "thread";
    QTest::newRow("the sampling thread's host, 3 ms") << 3 << -1 << "thread";
    // An hour's wait, ended by the loops' cancelling from another thread.
    QTest::newRow("the sampling thread's host, cancelled") << 3'600'000 << -1 << "cancelled";
}

void TestBlockingWait::real_host_keeps_the_deadline()
{
    QFETCH(int, ahead_ms);
    QFETCH(int, timer_ms);
    QFETCH(QString, host_kind);
    common::SteadyClock clock;
    if (host_kind != QLatin1String("qt")) {
        acquisition::ThreadLoopHost host(clock);
        std::thread canceller;
        if (host_kind == QLatin1String("cancelled"))
            canceller = std::thread([&host] { host.cancel_loops(); });
        const common::Tick deadline = common::tick_add(host.tick_count(), ahead_ms);
        host.wait_for_events(clock.now_ns() + std::int64_t{ahead_ms} * 1'000'000);
        acquisition::WaitTill(host, deadline);
        if (canceller.joinable()) {
            canceller.join();
            QVERIFY(!common::tick_reached(host.tick_count(), deadline));
        } else {
            QVERIFY(common::tick_reached(host.tick_count(), deadline));
        }
        return;
    }
    acquisition::QtLoopHost host(clock);
    int blocks = 0;
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this, [&] { ++blocks; });
    bool timer_handled = false;
    if (timer_ms >= 0)
        QTimer::singleShot(timer_ms, this, [&] { timer_handled = true; });

    for (int i = 0; i < 10; ++i) {
        const common::Tick deadline = common::tick_add(host.tick_count(), ahead_ms);
        acquisition::WaitTill(host, deadline);
        QVERIFY(common::tick_reached(host.tick_count(), deadline));
        if (timer_ms >= 0) {
            QVERIFY(timer_handled);
            QVERIFY(blocks >= 1);
            break;
        }
    }
}

QTEST_GUILESS_MAIN(TestBlockingWait)
#include "tst_blocking_wait.moc"
