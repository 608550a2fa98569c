// The deadline wait sleeps in the event pump while the deadline is far, and still handles every
// event as soon as it arrives and returns when the tick counter reaches the deadline.

#include "acquisition/qt_loop_host.h"
#include "acquisition/wait_till.h"
#include "common/clock.h"
#include "fake_loop_host.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTest>
#include <QTimer>

using test_support::FakeLoopHost;

namespace {

constexpr std::int64_t kMs = 1'000'000;

}  // namespace

class TestBlockingWait : public QObject {
    Q_OBJECT

private slots:
    void sleeps_until_shortly_before_the_deadline();
    void wake_ahead_grows_with_the_wait_data();
    void wake_ahead_grows_with_the_wait();
    void long_wait_wakes_early_and_polls_the_rest();
    void short_waits_are_polled_data();
    void short_waits_are_polled();
    void event_arriving_while_blocked_is_handled_at_once();
    void deadline_moment_across_the_wrap();
    void real_host_blocks_and_keeps_the_deadline();
};

void TestBlockingWait::sleeps_until_shortly_before_the_deadline()
{
    FakeLoopHost host(1'000 * kMs);
    host.set_blocking(true);
    const common::Tick deadline = common::tick_add(host.tick_count(), 10);
    acquisition::wait_till(host, deadline);

    QVERIFY(common::tick_reached(host.tick_count(), deadline));
    QCOMPARE(host.blocking_waits(), 1);
    // It woke 0.5 ms early and polled the rest at 0.25 ms a pump: the first pump, then two more.
    QCOMPARE(host.pumps(), 3);
    QCOMPARE(host.fake_clock().now_ns(), 1'010 * kMs);
}

void TestBlockingWait::wake_ahead_grows_with_the_wait_data()
{
    QTest::addColumn<qint64>("wait_ns");
    QTest::addColumn<qint64>("ahead_ns");
    QTest::newRow("3 ms: at least 0.5 ms") << qint64{3 * kMs} << qint64{kMs / 2};
    QTest::newRow("10 ms: 0.5 ms") << qint64{10 * kMs} << qint64{kMs / 2};
    QTest::newRow("30 ms: a twentieth") << qint64{30 * kMs} << qint64{3 * kMs / 2};
    QTest::newRow("100 ms: at most 3 ms") << qint64{100 * kMs} << qint64{3 * kMs};
    QTest::newRow("1000 ms: at most 3 ms") << qint64{1000 * kMs} << qint64{3 * kMs};
}

void TestBlockingWait::wake_ahead_grows_with_the_wait()
{
    QFETCH(qint64, wait_ns);
    QFETCH(qint64, ahead_ns);
    QCOMPARE(acquisition::wake_ahead_ns(wait_ns), ahead_ns);
}

void TestBlockingWait::long_wait_wakes_early_and_polls_the_rest()
{
    FakeLoopHost host(1'000 * kMs, kMs / 4);
    host.set_blocking(true);
    std::int64_t woke_at = -1;
    host.at_pump(2, [&] { woke_at = host.fake_clock().now_ns(); });
    const common::Tick deadline = common::tick_add(host.tick_count(), 100);
    acquisition::wait_till(host, deadline);

    // One sleep, to 3 ms before the deadline (planned from the whole wait, not from the rest),
    // then polling in 0.25 ms steps.
    QCOMPARE(host.blocking_waits(), 1);
    QCOMPARE(woke_at, 1'097 * kMs);
    QCOMPARE(host.fake_clock().now_ns(), 1'100 * kMs);
    QCOMPARE(host.pumps(), 1 + 12);
}

void TestBlockingWait::short_waits_are_polled_data()
{
    QTest::addColumn<int>("period_ms");
    QTest::newRow("1 ms") << 1;
    QTest::newRow("2 ms") << 2;
}

void TestBlockingWait::short_waits_are_polled()
{
    QFETCH(int, period_ms);
    // Just after the counter moved on, as after a reading taken on time.
    FakeLoopHost host(1'000 * kMs + 2'000);
    host.set_blocking(true);
    const common::Tick deadline = common::tick_add(host.tick_count(), period_ms);
    acquisition::wait_till(host, deadline);
    QVERIFY(common::tick_reached(host.tick_count(), deadline));
    QCOMPARE(host.blocking_waits(), 0);
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
    acquisition::wait_till(host, deadline);

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

void TestBlockingWait::real_host_blocks_and_keeps_the_deadline()
{
    common::SteadyClock clock;
    acquisition::QtLoopHost host(clock);
    int blocks = 0;
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this, [&] { ++blocks; });
    bool timer_handled = false;
    bool handled_before_return = false;
    QTimer::singleShot(5, this, [&] { timer_handled = true; });

    const common::Tick deadline = common::tick_add(host.tick_count(), 40);
    acquisition::wait_till(host, deadline);
    handled_before_return = timer_handled;

    QVERIFY(common::tick_reached(host.tick_count(), deadline));
    QVERIFY(handled_before_return);
    QVERIFY(blocks >= 1);
}

QTEST_GUILESS_MAIN(TestBlockingWait)
#include "tst_blocking_wait.moc"
