// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The plan of a measurement (its rate and number of readings) and the state a measurement starts
// from, also after an earlier, longer one.

#include "common/measurement_plan.h"

#include "acquisition/measurement.h"
#include "common/measurement_state.h"
#include "fake_loop_host.h"

#include <QTest>

#include <algorithm>
#include <cstdint>
#include <memory>

using test_support::FakeLoopHost;

class TestMeasurementPlan : public QObject {
    Q_OBJECT

private slots:
    void plan_measurement_data();
    void plan_measurement();
    void start_measurement_resets_the_record();
    void second_measurement_leaves_zeros_above_its_n();

private:
    std::unique_ptr<common::MeasurementState> fresh_state(std::int16_t period_ms, std::int16_t meas_time_s);
};

std::unique_ptr<common::MeasurementState> TestMeasurementPlan::fresh_state(
    std::int16_t period_ms, std::int16_t meas_time_s)
{
    auto state = std::make_unique<common::MeasurementState>();
    common::start_measurement(*state, period_ms, meas_time_s);
    return state;
}

void TestMeasurementPlan::plan_measurement_data()
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

void TestMeasurementPlan::plan_measurement()
{
    QFETCH(int, period_ms);
    QFETCH(int, meas_time_s);
    QFETCH(float, sample_rate);
    QFETCH(int, last_sample);

    const common::MeasurementPlan plan = common::plan_measurement(period_ms, meas_time_s);
    // The rate is compared bit for bit: it is the float nearest to 1000 / period.
    QVERIFY2(plan.sample_rate == sample_rate, qPrintable(QString::number(plan.sample_rate, 'g', 9)));
    QVERIFY(plan.meas_time == static_cast<float>(meas_time_s));
    QCOMPARE(plan.last_sample, last_sample);
}

void TestMeasurementPlan::start_measurement_resets_the_record()
{
    auto state = std::make_unique<common::MeasurementState>();
    std::fill(state->samples.begin(), state->samples.end(), std::int16_t{9});
    state->fit_shown = true;
    state->graphed = true;
    state->sect_velocity[1] = 12.5f;
    state->plotted_sections = 4;

    common::start_measurement(*state, 15, 3);

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

void TestMeasurementPlan::second_measurement_leaves_zeros_above_its_n()
{
    FakeLoopHost host;
    auto state = fresh_state(10, 1);
    std::int16_t next = 100;
    QVERIFY(acquisition::record_samples(*state, host, [&next] { return next++; }));
    QCOMPARE(state->samples[100], std::int16_t{200});

    common::start_measurement(*state, 1000, 1);
    QCOMPARE(state->last_sample, 1);
    QVERIFY(acquisition::record_samples(*state, host, [] { return std::int16_t{-7}; }));
    QCOMPARE(state->samples[0], std::int16_t{-7});
    QCOMPARE(state->samples[1], std::int16_t{-7});
    QVERIFY(std::all_of(state->samples.begin() + 2, state->samples.end(), [](std::int16_t s) { return s == 0; }));
}

QTEST_GUILESS_MAIN(TestMeasurementPlan)
#include "tst_measurement_plan.moc"
