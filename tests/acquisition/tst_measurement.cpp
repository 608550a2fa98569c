// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The timed recording of the Measure command on a fake tick counter.

#include "acquisition/measurement.h"
#include "common/measurement_plan.h"
#include "common/measurement_state.h"
#include "common/ticks.h"
#include "fake_loop_host.h"

#include <QTest>

#include <cstdint>
#include <memory>
#include <vector>

using test_support::FakeLoopHost;

namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;

// What the recording saw at each reading.
struct Readings {
    std::vector<std::int64_t> clock_ns;
    std::vector<common::Tick> ticks;
    std::vector<std::int64_t> pumps;
};

// A reader that notes the time and the pump count of each reading and returns the reading's index,
// so that a skipped or repeated reading shows in the samples.
acquisition::ReadSample recorder(FakeLoopHost &host, Readings &readings)
{
    return [&host, &readings] {
        readings.clock_ns.push_back(host.fake_clock().now_ns());
        readings.ticks.push_back(host.tick_count());
        readings.pumps.push_back(host.pumps());
        return static_cast<std::int16_t>(readings.ticks.size() - 1);
    };
}

// Reading i must start in the pump after the one that brought the tick counter to its deadline:
// with the clock moving `step_ns` a pump from a whole millisecond, the wait ends with the clock in
// [deadline, deadline + step) and the extra pump moves it once more.
bool started_on_time(std::int64_t reading_ns, std::int64_t deadline_ns, std::int64_t step_ns)
{
    return reading_ns >= deadline_ns + step_ns && reading_ns < deadline_ns + 2 * step_ns;
}

}  // namespace

class TestMeasurement : public QObject {
    Q_OBJECT

private slots:
    void readings_follow_the_schedule_data();
    void readings_follow_the_schedule();
    void late_reading_is_caught_up();
    void schedule_across_the_tick_wrap();
    void period_change_waits_for_the_next_measurement();
    void cancelling_ends_the_recording_data();
    void cancelling_ends_the_recording();
    void readings_taken_are_reported();

private:
    std::unique_ptr<common::MeasurementState> fresh_state(std::int16_t period_ms, std::int16_t meas_time_s);
};

std::unique_ptr<common::MeasurementState> TestMeasurement::fresh_state(std::int16_t period_ms, std::int16_t meas_time_s)
{
    auto state = std::make_unique<common::MeasurementState>();
    common::start_measurement(*state, period_ms, meas_time_s);
    return state;
}

void TestMeasurement::readings_follow_the_schedule_data()
{
    QTest::addColumn<int>("period_ms");
    QTest::addColumn<int>("meas_time_s");
    QTest::addColumn<qint64>("step_ns");
    QTest::addColumn<bool>("blocking");  // the host sleeps in its dispatcher while the deadline is far

    QTest::newRow("10 ms for 1 s, 0.25 ms a pump") << 10 << 1 << qint64{250'000} << false;
    QTest::newRow("15 ms for 3 s, 0.25 ms a pump") << 15 << 3 << qint64{250'000} << false;
    QTest::newRow("15 ms for 3 s, 0.7 ms a pump") << 15 << 3 << qint64{700'000} << false;
    QTest::newRow("1000 ms for 1 s, 1 ms a pump") << 1000 << 1 << qint64{1'000'000} << false;
    QTest::newRow("1 ms for 10 s, 0.25 ms a pump") << 1 << 10 << qint64{250'000} << false;
    QTest::newRow("7 ms for 2 s, 3.3 ms a pump") << 7 << 2 << qint64{3'300'000} << false;
    QTest::newRow("10 ms for 1 s, sleeping host") << 10 << 1 << qint64{250'000} << true;
    QTest::newRow("15 ms for 3 s, sleeping host") << 15 << 3 << qint64{250'000} << true;
    QTest::newRow("2 ms for 1 s, sleeping host") << 2 << 1 << qint64{250'000} << true;
    QTest::newRow("1000 ms for 1 s, sleeping host") << 1000 << 1 << qint64{100'000} << true;
}

void TestMeasurement::readings_follow_the_schedule()
{
    QFETCH(int, period_ms);
    QFETCH(int, meas_time_s);
    QFETCH(qint64, step_ns);
    QFETCH(bool, blocking);

    const std::int64_t start_ns = 5'000 * kNsPerMs;
    FakeLoopHost host(start_ns, step_ns);
    host.set_blocking(blocking);
    auto state = fresh_state(static_cast<std::int16_t>(period_ms), static_cast<std::int16_t>(meas_time_s));
    const std::int32_t n = state->last_sample;
    Readings readings;
    QVERIFY(acquisition::record_samples(*state, host, recorder(host, readings)));

    QCOMPARE(readings.ticks.size(), std::size_t(n + 1));
    // Reading 0 is taken at once, before any pump.
    QCOMPARE(readings.clock_ns[0], start_ns);
    QCOMPARE(readings.pumps[0], qint64{0});
    for (std::int32_t i = 1; i <= n; ++i) {
        const auto at = static_cast<std::size_t>(i);
        const std::int64_t deadline_ns = start_ns + std::int64_t{i} * period_ms * kNsPerMs;
        QVERIFY2(started_on_time(readings.clock_ns[at], deadline_ns, step_ns), qPrintable(QString::number(i)));
        QVERIFY(readings.ticks[at] >= 5'000 + i * period_ms);
        QVERIFY(readings.pumps[at] - readings.pumps[at - 1] >= 2);
    }
    for (std::int32_t i = 0; i <= n; ++i)
        QCOMPARE(state->samples[static_cast<std::size_t>(i)], static_cast<std::int16_t>(i));
    // After the last reading the loop still waits for the deadline one period later.
    const std::int64_t final_deadline_ns = start_ns + std::int64_t{n + 1} * period_ms * kNsPerMs;
    QVERIFY(started_on_time(host.fake_clock().now_ns(), final_deadline_ns, step_ns));
}

void TestMeasurement::late_reading_is_caught_up()
{
    // 10 ms for 1 s; reading 3 takes 35 ms. Readings 4, 5 and 6 (deadlines 40, 50, 60 ms) are
    // then overdue and follow back to back, one wait and one pump each; reading 7 is on time again.
    const std::int64_t start_ns = 5'000 * kNsPerMs;
    const std::int64_t step_ns = 250'000;
    FakeLoopHost host(start_ns, step_ns);
    auto state = fresh_state(10, 1);
    Readings readings;
    const acquisition::ReadSample note = recorder(host, readings);
    const acquisition::ReadSample slow_third = [&] {
        const std::int16_t index = note();
        if (index == 3)
            host.fake_clock().advance_ms(35);
        return index;
    };
    QVERIFY(acquisition::record_samples(*state, host, slow_third));

    QCOMPARE(readings.ticks.size(), std::size_t(101));
    for (std::int32_t i = 0; i <= 100; ++i)
        QCOMPARE(state->samples[static_cast<std::size_t>(i)], static_cast<std::int16_t>(i));
    for (std::size_t i : {1u, 2u, 3u})
        QVERIFY(started_on_time(readings.clock_ns[i], start_ns + std::int64_t(i) * 10 * kNsPerMs, step_ns));
    const std::int64_t end_of_third = readings.clock_ns[3] + 35 * kNsPerMs;
    for (std::size_t i : {4u, 5u, 6u}) {
        QCOMPARE(readings.pumps[i] - readings.pumps[i - 1], qint64{2});
        QCOMPARE(readings.clock_ns[i], end_of_third + std::int64_t(i - 3) * 2 * step_ns);
    }
    for (std::size_t i = 7; i <= 100; ++i)
        QVERIFY2(started_on_time(readings.clock_ns[i], start_ns + std::int64_t(i) * 10 * kNsPerMs, step_ns),
            qPrintable(QString::number(i)));
}

void TestMeasurement::schedule_across_the_tick_wrap()
{
    // The tick counter starts 25 ms below 2^31 and turns negative between readings 2 and 3.
    const std::int64_t start_ns = (std::int64_t{1} << 31) * kNsPerMs - 25 * kNsPerMs;
    const std::int64_t step_ns = 250'000;
    FakeLoopHost host(start_ns, step_ns);
    const common::Tick t0 = host.tick_count();
    QCOMPARE(t0, common::Tick{2'147'483'623});
    auto state = fresh_state(10, 1);
    Readings readings;
    QVERIFY(acquisition::record_samples(*state, host, recorder(host, readings)));

    QCOMPARE(readings.ticks.size(), std::size_t(101));
    QVERIFY(readings.ticks[2] > 0);
    QVERIFY(readings.ticks[3] < 0);
    for (std::size_t i = 0; i <= 100; ++i) {
        QCOMPARE(readings.ticks[i], common::tick_add(t0, static_cast<std::int32_t>(i * 10)));
        if (i > 0)
            QVERIFY2(started_on_time(readings.clock_ns[i], start_ns + std::int64_t(i) * 10 * kNsPerMs, step_ns),
                qPrintable(QString::number(i)));
    }
}

void TestMeasurement::period_change_waits_for_the_next_measurement()
{
    // 10 ms for 1 s; 35 ms in the period setting becomes 20 ms. The analysis takes reading i to be
    // i periods of the measurement after reading 0, so every reading stays 10 ms apart.
    const std::int64_t start_ns = 5'000 * kNsPerMs;
    const std::int64_t step_ns = 250'000;
    FakeLoopHost host(start_ns, step_ns);
    auto state = fresh_state(10, 1);
    host.at_time_ns(start_ns + 35 * kNsPerMs, [&state] { state->period_ms = 20; });
    Readings readings;
    QVERIFY(acquisition::record_samples(*state, host, recorder(host, readings)));

    QCOMPARE(readings.ticks.size(), std::size_t(101));
    QCOMPARE(state->last_sample, 100);
    for (std::int64_t i = 1; i <= 100; ++i)
        QVERIFY2(started_on_time(readings.clock_ns[static_cast<std::size_t>(i)], start_ns + 10 * i * kNsPerMs, step_ns),
            qPrintable(QString::number(i)));
    QVERIFY(started_on_time(host.fake_clock().now_ns(), start_ns + 1010 * kNsPerMs, step_ns));
}

void TestMeasurement::cancelling_ends_the_recording_data()
{
    QTest::addColumn<qint64>("cancel_at_ms");

    // The pump that reaches 30 ms ends the wait for reading 3; the next pump is the extra one.
    QTest::newRow("cancelled during the wait") << qint64{25};
    QTest::newRow("cancelled in the pump after the wait") << qint64{30};
}

void TestMeasurement::cancelling_ends_the_recording()
{
    QFETCH(qint64, cancel_at_ms);

    const std::int64_t start_ns = 5'000 * kNsPerMs;
    FakeLoopHost host(start_ns, 250'000);
    auto state = fresh_state(10, 1);
    std::int64_t pumps_at_cancel = -1;
    host.at_time_ns(start_ns + cancel_at_ms * kNsPerMs, [&] {
        host.cancel_loops();
        pumps_at_cancel = host.pumps();
    });
    Readings readings;
    QVERIFY(!acquisition::record_samples(*state, host, recorder(host, readings)));

    QCOMPARE(readings.ticks.size(), std::size_t(3));
    QCOMPARE(host.pumps(), pumps_at_cancel);
    QCOMPARE(host.active_loops(), 0);
    // The readings taken are kept.
    QCOMPARE(state->samples[2], std::int16_t{2});
    QCOMPARE(state->samples[3], std::int16_t{0});
}

void TestMeasurement::readings_taken_are_reported()
{
    FakeLoopHost host;
    auto state = fresh_state(30, 3);
    std::vector<std::int32_t> reported;
    int active_while_reading = 0;
    QVERIFY(acquisition::record_samples(
        *state, host,
        [&] {
            active_while_reading = host.active_loops();
            return std::int16_t{1};
        },
        [&reported](std::int32_t taken) { reported.push_back(taken); }));
    QCOMPARE(reported.size(), std::size_t(100));
    for (std::size_t i = 0; i < reported.size(); ++i)
        QCOMPARE(reported[i], static_cast<std::int32_t>(i + 1));
    QCOMPARE(active_while_reading, 1);
    QCOMPARE(host.active_loops(), 0);
}

QTEST_MAIN(TestMeasurement)
#include "tst_measurement.moc"
