// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The fits over a chosen range of a run's time, against cases worked by hand.

#include "analysis/span_fits.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <memory>

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

using Spans = QList<int>;  // readings first, last, first, last, ...

// Six sections of 0.25 s from t = 0 at 1000 readings a second, their mid-times 0.125..1.375 s
// (exact in single precision), velocities 10, 12, 15, 16, 18, 21 cm/s; the cart turning in
// section `turn` (0: never).
std::unique_ptr<common::MeasurementState> six_sections(int turn, analysis::StripAnalysis &strip)
{
    auto state = std::make_unique<common::MeasurementState>();
    state->sample_rate = 1000;
    state->edge_count = 6;
    const float velocities[] = {10, 12, 15, 16, 18, 21};
    for (int k = 0; k <= 6; ++k)
        state->edge_index[static_cast<std::size_t>(k)] = 100 + 250 * k;
    for (int k = 1; k <= 6; ++k) {
        state->sect_time[static_cast<std::size_t>(k)] = 0.25f * static_cast<float>(k) - 0.125f;
        state->sect_velocity[static_cast<std::size_t>(k)] = velocities[k - 1];
    }
    strip.sections = 6;
    strip.sample_rate = 1000;
    if (turn > 0)
        strip.check.turn_section = turn;
    return state;
}

bool near(double value, double expected, double tolerance)
{
    return std::isnan(expected) || std::fabs(value - expected) <= tolerance;
}

}  // namespace

class TestRangeFits : public QObject {
    Q_OBJECT

private slots:
    void sections_in_range_data();
    void sections_in_range();
    void area_is_the_rise_data();
    void area_is_the_rise();
    void agreement_data();
    void agreement();
};

void TestRangeFits::sections_in_range_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::addColumn<int>("turn");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("line");
    QTest::addColumn<double>("fitted_end");
    QTest::addColumn<QList<double>>("expected");  // slope, its error, area, its error; NaN: not checked
    QTest::addColumn<Spans>("late");              // readings that came late: first, last, ...
    QTest::addColumn<QList<int>>("left_out");     // the sections the line goes without

    // Points 2..5 about their mean time 0.75 s: Sxx = 0.3125, Sxy = 2.375, so the slope is 7.6
    // and v = 15.25 cm/s at 0.75 s; residuals -0.4, 0.7, -0.2, -0.1 leave σ² = 0.70 / 2, the
    // slope's error √(σ² / Sxx) = √1.12. The area over a range centred on 0.75 s is its width
    // times 15.25, its error the width times σ / √4.
    const QList<double> worked{7.6, std::sqrt(1.12), 15.25, std::sqrt(0.35 / 4)};
    QTest::newRow("four points worked by hand")
        << 0.25 << 1.25 << 0 << 2 << 5 << true << 1.25 << worked << Spans{} << QList<int>{};
    QTest::newRow("ends on mid-times") << 0.375 << 1.125 << 0 << 2 << 5 << true << 1.125
                                       << QList<double>{7.6, std::sqrt(1.12), 0.75 * 15.25, 0.75 * std::sqrt(0.35 / 4)}
                                       << Spans{} << QList<int>{};
    QTest::newRow("start just past a mid-time") << 0.3750001 << 1.125 << 0 << 3 << 5 << true << 1.125
                                                << QList<double>{kNone, kNone, kNone, kNone} << Spans{} << QList<int>{};
    QTest::newRow("two sections give no line")
        << 0.3750001 << 1.1249999 << 0 << 3 << 4 << false << 1.1249999 << QList<double>{} << Spans{} << QList<int>{};
    QTest::newRow("from the first section") << 0.125 << 0.625 << 0 << 1 << 3 << true << 0.625
                                            << QList<double>{kNone, kNone, kNone, kNone} << Spans{} << QList<int>{};
    QTest::newRow("just past the first section")
        << 0.1250001 << 0.625 << 0 << 2 << 3 << false << 0.625 << QList<double>{} << Spans{} << QList<int>{};
    QTest::newRow("to the last section") << 0.875 << 1.375 << 0 << 4 << 6 << true << 1.375
                                         << QList<double>{kNone, kNone, kNone, kNone} << Spans{} << QList<int>{};
    QTest::newRow("just before the last section")
        << 0.875 << 1.3749999 << 0 << 4 << 5 << false << 1.3749999 << QList<double>{} << Spans{} << QList<int>{};
    QTest::newRow("one section past the data") << 0.0 << 1.625 << 0 << 1 << 6 << true << 1.625
                                               << QList<double>{kNone, kNone, kNone, kNone} << Spans{} << QList<int>{};
    QTest::newRow("nothing in the range")
        << 1.6 << 1.7 << 0 << 0 << 0 << false << 1.7 << QList<double>{} << Spans{} << QList<int>{};
    // The sections before the turn, the range ended at the boundary before it.
    QTest::newRow("across a turn") << 0.25 << 1.375 << 5 << 2 << 4 << true << 1.0
                                   << QList<double>{kNone, kNone, kNone, kNone} << Spans{} << QList<int>{};
    QTest::newRow("the turn just after the range")
        << 0.25 << 1.25 << 6 << 2 << 5 << true << 1.25 << worked << Spans{} << QList<int>{};
    // Section 3 (readings 600..850) spoiled by a late reading: points 2, 4 and 5 lie on
    // v = 9 + 8 t exactly, so the slope is 8 with no error, and the area over 0.25..1.25 s is
    // 9 + 8 × 0.75 = 15 cm.
    QTest::newRow("a late reading leaves its section out")
        << 0.25 << 1.25 << 0 << 2 << 5 << true << 1.25 << QList<double>{8, 0, 15, 0} << Spans{700, 700}
        << QList<int>{3};
    // On the edge between sections 3 and 4: two points are left, too few for a line.
    QTest::newRow("a late reading on an edge leaves both its sections out")
        << 0.25 << 1.25 << 0 << 2 << 5 << false << 1.25 << QList<double>{} << Spans{850, 850} << QList<int>{3, 4};
}

void TestRangeFits::sections_in_range()
{
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(int, turn);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(bool, line);
    QFETCH(double, fitted_end);
    QFETCH(QList<double>, expected);
    QFETCH(Spans, late);
    QFETCH(QList<int>, left_out);

    analysis::StripAnalysis strip;
    const std::unique_ptr<common::MeasurementState> state = six_sections(turn, strip);
    std::vector<common::ReadingSpan> late_readings;
    for (qsizetype i = 0; i + 1 < late.size(); i += 2)
        late_readings.push_back({late[i], late[i + 1]});
    const analysis::RangeFits fits = analysis::fit_range(*state, strip, {start, end}, late_readings);
    QCOMPARE(fits.first_section, first);
    QCOMPARE(fits.last_section, last);
    QCOMPARE(QList<int>(fits.spoiled_sections.begin(), fits.spoiled_sections.end()), left_out);
    QCOMPARE(fits.cut_at_turn, fitted_end != end);
    QCOMPARE(fits.range.end_s, fitted_end);
    QCOMPARE(fits.line.has_value(), line);
    QCOMPARE(fits.area.has_value(), line);
    if (!line)
        return;
    QCOMPARE(fits.line->points, last - first + 1 - static_cast<int>(left_out.size()));
    QVERIFY2(near(fits.line->slope, expected[0], 1e-5), qPrintable(QString::number(fits.line->slope)));
    QVERIFY(fits.line->slope_error && near(*fits.line->slope_error, expected[1], 1e-5));
    QVERIFY2(near(fits.area->value, expected[2], 1e-5), qPrintable(QString::number(fits.area->value)));
    QVERIFY2(fits.area->error && near(*fits.area->error, expected[3], 1e-5),
        qPrintable(QString::number(fits.area->error.value_or(-1))));
}

void TestRangeFits::area_is_the_rise_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::addColumn<double>("distance");

    // x = 20 t + 30 t²: the distance from t1 to t2.
    QTest::newRow("0.1 to 0.5 s") << 0.1 << 0.5 << 20 * 0.4 + 30 * (0.25 - 0.01);
    QTest::newRow("from the first edge") << 0.0 << 0.9 << 20 * 0.9 + 30 * 0.81;
}

void TestRangeFits::area_is_the_rise()
{
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(double, distance);

    // A cart from 20 cm/s at 60 cm/s² passing 40 holes, each edge at its exact time: the mean
    // velocity of a section is the velocity at its mid-time, so the line is v = 20 + 60 t, and the
    // edges lie on x = 20 t + 30 t².
    analysis::StripAnalysis strip;
    auto state = std::make_unique<common::MeasurementState>();
    state->sample_rate = strip.sample_rate = 1000;
    state->edge_count = strip.sections = 40;
    strip.holes_per_section = 1;
    std::vector<double> times;
    for (int k = 0; k <= 40; ++k) {
        times.push_back((-20 + std::sqrt(400 + 120 * 1.268 * k)) / 60);
        const double reading = 100 + times.back() * 1000;
        strip.pulses.push_back({-1, static_cast<std::int32_t>(std::lround(reading))});
        strip.check.holes.push_back({reading, -1.0, k, k});
        state->edge_index[static_cast<std::size_t>(k)] = static_cast<std::int32_t>(std::lround(reading));
    }
    strip.check.holes_before_turn = 41;
    for (std::size_t k = 1; k <= 40; ++k) {
        state->sect_time[k] = static_cast<float>((times[k - 1] + times[k]) / 2);
        state->sect_velocity[k] = static_cast<float>(1.268 / (times[k] - times[k - 1]));
    }
    const analysis::RangeFits fits = analysis::fit_range(*state, strip, {start, end});
    QVERIFY(fits.area && fits.rise);
    QVERIFY2(std::fabs(fits.area->value - distance) < 1e-4, qPrintable(QString::number(fits.area->value, 'g', 10)));
    QVERIFY2(std::fabs(fits.rise->value - distance) < 1e-9, qPrintable(QString::number(fits.rise->value, 'g', 12)));
    QVERIFY(analysis::area_agrees_with_rise(*fits.area, *fits.rise));
    QVERIFY(std::fabs(fits.position_fit->acceleration - 60) < 1e-9);
}

void TestRangeFits::agreement_data()
{
    QTest::addColumn<double>("area");
    QTest::addColumn<double>("area_error");  // negative: none
    QTest::addColumn<double>("rise");
    QTest::addColumn<double>("rise_error");
    QTest::addColumn<bool>("agrees");

    // Errors 0.3 and 0.4 make 0.5 for the difference: they agree up to 1.0 cm apart.
    QTest::newRow("within two errors") << 10.0 << 0.3 << 10.99 << 0.4 << true;
    QTest::newRow("just past two errors") << 10.0 << 0.3 << 11.01 << 0.4 << false;
    QTest::newRow("the other way") << 10.0 << 0.3 << 8.99 << 0.4 << false;
    QTest::newRow("no errors, alike") << 10.0 << -1.0 << 10.0009 << 0.4 << true;
    QTest::newRow("no errors, apart") << 10.0 << -1.0 << 10.0011 << 0.4 << false;
}

void TestRangeFits::agreement()
{
    QFETCH(double, area);
    QFETCH(double, area_error);
    QFETCH(double, rise);
    QFETCH(double, rise_error);
    QFETCH(bool, agrees);

    auto error = [](double e) { return e < 0 ? std::nullopt : std::optional(e); };
    QCOMPARE(analysis::area_agrees_with_rise({area, error(area_error)}, {rise, error(rise_error)}), agrees);
}

QTEST_GUILESS_MAIN(TestRangeFits)
#include "tst_range_fits.moc"
