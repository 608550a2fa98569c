// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The Measure command's pieces: the plan (rate and number of readings), the state at the start,
// the timed recording on a fake tick counter, and the raw trace.

#include "acquisition/measurement.h"
#include "common/measurement_state.h"
#include "common/palette.h"
#include "common/ticks.h"
#include "fake_loop_host.h"
#include "graph/surface.h"

#include <QTest>

#include <algorithm>
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

bool is_red(const QImage &image, int x, int y) { return image.pixelColor(x, y) == QColor(255, 0, 0); }
bool is_white(const QImage &image, int x, int y) { return image.pixelColor(x, y) == QColor(255, 255, 255); }

}  // namespace

class TestMeasurement : public QObject {
    Q_OBJECT

private slots:
    void plan_measurement_data();
    void plan_measurement();
    void trace_x_data();
    void trace_x();
    void trace_y_data();
    void trace_y();

    void start_measurement_resets_the_record();
    void second_measurement_leaves_zeros_above_its_n();

    void readings_follow_the_schedule_data();
    void readings_follow_the_schedule();
    void late_reading_is_caught_up();
    void schedule_across_the_tick_wrap();
    void period_change_waits_for_the_next_measurement();
    void cancelling_ends_the_recording_data();
    void cancelling_ends_the_recording();
    void readings_taken_are_reported();

    void raw_trace();

private:
    std::unique_ptr<common::MeasurementState> fresh_state(std::int16_t period_ms, std::int16_t meas_time_s);
};

std::unique_ptr<common::MeasurementState> TestMeasurement::fresh_state(std::int16_t period_ms, std::int16_t meas_time_s)
{
    auto state = std::make_unique<common::MeasurementState>();
    acquisition::start_measurement(*state, period_ms, meas_time_s);
    return state;
}

void TestMeasurement::plan_measurement_data()
{
    QTest::addColumn<int>("period_ms");
    QTest::addColumn<int>("meas_time_s");
    QTest::addColumn<float>("sample_rate");
    QTest::addColumn<int>("last_sample");

    // N is formed from the rate held as a 32-bit float, times the time, floored.
    QTest::newRow("10 ms for 1 s gives 100") << 10 << 1 << 100.0f << 100;
    QTest::newRow("15 ms for 3 s gives 199") << 15 << 3 << 66.666664f << 199;
    QTest::newRow("30 ms for 3 s gives 99") << 30 << 3 << 33.333332f << 99;
    QTest::newRow("600 ms for 3 s gives 4") << 600 << 3 << 1.6666666f << 4;
    QTest::newRow("1000 ms for 1 s gives 1") << 1000 << 1 << 1.0f << 1;
    QTest::newRow("1000 ms for 10 s gives 10") << 1000 << 10 << 1.0f << 10;
    QTest::newRow("1 ms for 10 s gives 10000") << 1 << 10 << 1000.0f << 10000;
    // Here the float rate lies above the true one: 333.33334 x 3 is just over 1000.
    QTest::newRow("3 ms for 3 s gives 1000") << 3 << 3 << 333.33334f << 1000;
    QTest::newRow("7 ms for 10 s gives 1428") << 7 << 10 << 142.85715f << 1428;
    QTest::newRow("11 ms for 7 s gives 636") << 11 << 7 << 90.909088f << 636;
}

void TestMeasurement::plan_measurement()
{
    QFETCH(int, period_ms);
    QFETCH(int, meas_time_s);
    QFETCH(float, sample_rate);
    QFETCH(int, last_sample);

    const acquisition::MeasurementPlan plan = acquisition::plan_measurement(period_ms, meas_time_s);
    // The rate is compared bit for bit: it is the float nearest to 1000 / period.
    QVERIFY2(plan.sample_rate == sample_rate, qPrintable(QString::number(plan.sample_rate, 'g', 9)));
    QVERIFY(plan.meas_time == static_cast<float>(meas_time_s));
    QCOMPARE(plan.last_sample, last_sample);
}

void TestMeasurement::trace_x_data()
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

void TestMeasurement::trace_x()
{
    QFETCH(int, i);
    QFETCH(int, last_sample);
    QFETCH(int, x);

    QCOMPARE(acquisition::trace_x(i, last_sample, 660), x);
}

void TestMeasurement::trace_y_data()
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

void TestMeasurement::trace_y()
{
    QFETCH(int, reading);
    QFETCH(int, y);

    QCOMPARE(acquisition::trace_y(reading), y);
}

void TestMeasurement::start_measurement_resets_the_record()
{
    auto state = std::make_unique<common::MeasurementState>();
    std::fill(state->samples.begin(), state->samples.end(), std::int16_t{9});
    state->fit_shown = true;
    state->graphed = true;
    state->sect_velocity[1] = 12.5f;
    state->plotted_sections = 4;

    acquisition::start_measurement(*state, 15, 3);

    QVERIFY(std::all_of(state->samples.begin(), state->samples.end(), [](std::int16_t s) { return s == 0; }));
    QCOMPARE(state->samples.size(), std::size_t(common::kSampleTableSize));
    QCOMPARE(state->period_ms, std::int16_t{15});
    QVERIFY(state->sample_rate == 66.666664f);
    QVERIFY(state->meas_time == 3.0f);
    QCOMPARE(state->last_sample, 199);
    QVERIFY(state->measured);
    QVERIFY(!state->fit_shown);
    // The analysis results stay until the next Graph.
    QVERIFY(state->graphed);
    QCOMPARE(state->sect_velocity[1], 12.5f);
    QCOMPARE(state->plotted_sections, 4);
}

void TestMeasurement::second_measurement_leaves_zeros_above_its_n()
{
    FakeLoopHost host;
    auto state = fresh_state(10, 1);
    std::int16_t next = 100;
    QVERIFY(acquisition::record_samples(*state, host, [&next] { return next++; }));
    QCOMPARE(state->samples[100], std::int16_t{200});

    acquisition::start_measurement(*state, 1000, 1);
    QCOMPARE(state->last_sample, 1);
    QVERIFY(acquisition::record_samples(*state, host, [] { return std::int16_t{-7}; }));
    QCOMPARE(state->samples[0], std::int16_t{-7});
    QCOMPARE(state->samples[1], std::int16_t{-7});
    QVERIFY(std::all_of(state->samples.begin() + 2, state->samples.end(), [](std::int16_t s) { return s == 0; }));
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

void TestMeasurement::raw_trace()
{
    // 250 ms for 1 s: N = 4, readings at x = 0, 165, 330, 495 and 660 (off the right edge).
    graph::Surface surface(660, 480);
    surface.set_pixel(600, 100, common::kBlack);
    auto state = fresh_state(250, 1);
    QCOMPARE(state->last_sample, 4);
    const std::int16_t readings[] = {0, 255, -255, 0, 0};
    std::copy(std::begin(readings), std::end(readings), state->samples.begin());

    acquisition::draw_raw_trace(surface, *state);
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

QTEST_MAIN(TestMeasurement)
#include "tst_measurement.moc"
