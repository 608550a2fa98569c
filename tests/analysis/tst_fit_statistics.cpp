// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The double-precision statistics of the fitted line, against cases worked by hand.

#include "analysis/fit_statistics.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

// The points go in as floats; every value below is exact in a float, and the hand-worked results
// are checked to 1e-12 relative, far below what a wrong formula would miss by.
constexpr double kTolerance = 1e-12;

bool near(double actual, double expected)
{
    return std::abs(actual - expected) <= kTolerance * std::max(1.0, std::abs(expected));
}

std::vector<float> table(std::initializer_list<float> points)
{
    std::vector<float> values{0.0f};  // entry 0 is not a point
    values.insert(values.end(), points);
    return values;
}

}  // namespace

class TestFitStatistics : public QObject {
    Q_OBJECT

private slots:
    void worked_cases_data();
    void worked_cases();
    void undetermined_lines_data();
    void undetermined_lines();
};

void TestFitStatistics::worked_cases_data()
{
    QTest::addColumn<std::vector<float>>("times");
    QTest::addColumn<std::vector<float>>("velocities");
    QTest::addColumn<double>("intercept");
    QTest::addColumn<double>("slope");
    QTest::addColumn<double>("intercept_error");  // NaN: none
    QTest::addColumn<double>("slope_error");
    QTest::addColumn<double>("r_squared");  // NaN: none
    const double none = std::numeric_limits<double>::quiet_NaN();

    // t = 1..5, v = 2, 4, 5, 4, 5: mean t 3, mean v 4, Stt 10, Stv 6, Svv 6; slope 0.6,
    // intercept 4 - 1.8 = 2.2; residuals -0.8, 0.6, 1, -0.6, -0.2, their squares sum to 2.4;
    // variance 2.4 / 3 = 0.8; se(slope) = sqrt(0.8 / 10), se(intercept) = sqrt(0.8 (1/5 + 9/10)),
    // r² = 1 - 2.4 / 6 = 0.6.
    QTest::newRow("five scattered points")
        << table({1, 2, 3, 4, 5}) << table({2, 4, 5, 4, 5}) << 2.2 << 0.6 << std::sqrt(0.88) << std::sqrt(0.08) << 0.6;
    // On the line v = 20 + 60 t exactly: no scatter, r² = 1.
    QTest::newRow("points on a line") << table({0.25f, 0.5f, 0.75f, 1.0f}) << table({35, 50, 65, 80}) << 20.0 << 60.0
                                      << 0.0 << 0.0 << 1.0;
    // t = 0, 1, 2 and v = 0, 2, 1: mean t 1, mean v 1, Stt 2, Stv 1, slope 0.5, intercept 0.5;
    // residuals -0.5, 1, -0.5 give 1.5; variance 1.5; se(slope) = sqrt(1.5 / 2),
    // se(intercept) = sqrt(1.5 (1/3 + 1/2)); Svv = 2, r² = 1 - 1.5 / 2 = 0.25.
    QTest::newRow("three points") << table({0, 1, 2}) << table({0, 2, 1}) << 0.5 << 0.5 << std::sqrt(1.25)
                                  << std::sqrt(0.75) << 0.25;
    // Two points: the line goes through both and leaves no scatter to estimate errors from.
    QTest::newRow("two points have no errors") << table({1, 3}) << table({10, 20}) << 5.0 << 5.0 << none << none << 1.0;
    // A level line: every v the same, so r² has no meaning.
    QTest::newRow("level velocities have no r²")
        << table({1, 2, 3}) << table({7, 7, 7}) << 7.0 << 0.0 << 0.0 << 0.0 << none;
}

void TestFitStatistics::worked_cases()
{
    QFETCH(std::vector<float>, times);
    QFETCH(std::vector<float>, velocities);
    QFETCH(double, intercept);
    QFETCH(double, slope);
    QFETCH(double, intercept_error);
    QFETCH(double, slope_error);
    QFETCH(double, r_squared);
    const auto n = static_cast<std::int32_t>(times.size() - 1);
    const std::optional<analysis::FitStatistics> fit = analysis::fit_statistics(times, velocities, n);
    QVERIFY(fit);
    QCOMPARE(fit->points, n);
    QVERIFY2(near(fit->intercept, intercept), qPrintable(QString::number(fit->intercept, 'g', 17)));
    QVERIFY2(near(fit->slope, slope), qPrintable(QString::number(fit->slope, 'g', 17)));
    QCOMPARE(fit->intercept_error.has_value(), !std::isnan(intercept_error));
    QCOMPARE(fit->slope_error.has_value(), !std::isnan(slope_error));
    if (fit->intercept_error) {
        QVERIFY2(
            near(*fit->intercept_error, intercept_error), qPrintable(QString::number(*fit->intercept_error, 'g', 17)));
        QVERIFY2(near(*fit->slope_error, slope_error), qPrintable(QString::number(*fit->slope_error, 'g', 17)));
    }
    QCOMPARE(fit->r_squared.has_value(), !std::isnan(r_squared));
    if (fit->r_squared)
        QVERIFY2(near(*fit->r_squared, r_squared), qPrintable(QString::number(*fit->r_squared, 'g', 17)));
}

void TestFitStatistics::undetermined_lines_data()
{
    QTest::addColumn<std::vector<float>>("times");
    QTest::addColumn<std::vector<float>>("velocities");
    QTest::addColumn<int>("n");
    QTest::newRow("one point") << table({1, 2}) << table({3, 4}) << 1;
    QTest::newRow("all at one time") << table({2, 2, 2}) << table({1, 2, 3}) << 3;
    QTest::newRow("more points than the tables hold") << table({1, 2}) << table({3, 4}) << 2 + 1;
    QTest::newRow("a point at infinity") << table({1, 2, std::numeric_limits<float>::infinity()}) << table({1, 2, 3})
                                         << 3;
}

void TestFitStatistics::undetermined_lines()
{
    QFETCH(std::vector<float>, times);
    QFETCH(std::vector<float>, velocities);
    QFETCH(int, n);
    QVERIFY(!analysis::fit_statistics(times, velocities, n));
}

QTEST_GUILESS_MAIN(TestFitStatistics)
#include "tst_fit_statistics.moc"
