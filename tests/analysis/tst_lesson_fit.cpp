// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The line through a lesson's runs, on points worked by hand.

#include "analysis/lesson_fit.h"

#include <QTest>

#include <cmath>

using Points = std::vector<analysis::LessonPoint>;
Q_DECLARE_METATYPE(Points)

class TestLessonFit : public QObject {
    Q_OBJECT

private slots:
    void line_data();
    void line();
};

void TestLessonFit::line_data()
{
    QTest::addColumn<Points>("points");
    QTest::addColumn<bool>("through_origin");
    QTest::addColumn<bool>("fitted");
    QTest::addColumn<double>("slope");
    QTest::addColumn<double>("slope_error");
    QTest::addColumn<double>("intercept");
    QTest::addColumn<double>("intercept_error");  // -1: none
    QTest::addColumn<double>("r_squared");

    // (1, 2), (2, 4), (3, 7), each ± 1: mean x 2, mean y 13/3, Sxx 2, Sxy 5, slope 5/2, intercept
    // -2/3; residuals 1/6, -1/3, 1/6, chi² 1/6 below its one degree of freedom, so the runs' own
    // errors stand: SE(slope) = 1/sqrt(2), SE(intercept) = sqrt(1/3 + 4/2); Syy 114/9.
    const Points even{{1, 2, 1}, {2, 4, 1}, {3, 7, 1}};
    QTest::newRow("x, free intercept") << even << false << true << 2.5 << std::sqrt(0.5) << -2.0 / 3
                                       << std::sqrt(1.0 / 3 + 2) << 1 - (1.0 / 6) / (114.0 / 9);
    // Through the origin: Sxx 14, Sxy 31; chi² = 5/14 below its two degrees of freedom.
    QTest::newRow("x, through the origin")
        << even << true << true << 31.0 / 14 << std::sqrt(1.0 / 14) << 0.0 << -1.0 << 1 - (5.0 / 14) / 69;
    // The same points ± 0.1: weights 100, the same line, and chi² 50/3 on one degree of freedom
    // widens the errors by its square root: SE(slope) = sqrt(50/3 / 200).
    const Points tight{{1, 2, 0.1}, {2, 4, 0.1}, {3, 7, 0.1}};
    QTest::newRow("scatter beyond the runs' errors")
        << tight << false << true << 2.5 << std::sqrt(50.0 / 3 / 200) << -2.0 / 3
        << std::sqrt(50.0 / 3 * (1.0 / 300 + 4.0 / 200)) << 1 - (50.0 / 3) / (11400.0 / 9);
    // Under 1/m: masses 0.5, 1 and 2 kg pulled alike, a = 2 / m, the law exactly: x 2, 1, 0.5.
    const Points inverse{{2, 4, 1}, {1, 2, 1}, {0.5, 1, 1}};
    QTest::newRow("1/x, through the origin")
        << inverse << true << true << 2.0 << std::sqrt(1 / 5.25) << 0.0 << -1.0 << 1.0;
    QTest::newRow("1/x, free intercept") << inverse << false << true << 2.0 << std::sqrt(1 / (5.25 - 3.5 * 3.5 / 3))
                                         << 0.0 << std::sqrt(1.0 / 3 + (3.5 / 3) * (3.5 / 3) / (5.25 - 3.5 * 3.5 / 3))
                                         << 1.0;
    // (0, 1) ± 1 and (2, 5) ± 2: weights 1 and 1/4, weighted mean x 0.4, y 1.8; Sxx 0.8, Sxy 1.6:
    // the line through both, slope 2, intercept 1, with no degree of freedom left.
    QTest::newRow("two points of unequal weight")
        << Points{{0, 1, 1}, {2, 5, 2}} << false << true << 2.0 << std::sqrt(1 / 0.8) << 1.0
        << std::sqrt(1 / 1.25 + 0.16 / 0.8) << 1.0;
    QTest::newRow("one point") << Points{{1, 2, 1}} << false << false << 0.0 << 0.0 << 0.0 << -1.0 << 0.0;
    QTest::newRow("one point through the origin")
        << Points{{1, 2, 1}} << true << false << 0.0 << 0.0 << 0.0 << -1.0 << 0.0;
    // A run without an error is left out: two left.
    QTest::newRow("a point without an error") << Points{{1, 2, 1}, {2, 4, 0}, {3, 6, 1}} << false << true << 2.0
                                              << std::sqrt(1 / 2.0) << 0.0 << std::sqrt(1 / 2.0 + 4 / 2.0) << 1.0;
    QTest::newRow("every x alike") << Points{{2, 2, 1}, {2, 4, 1}} << false << false << 0.0 << 0.0 << 0.0 << -1.0
                                   << 0.0;
    QTest::newRow("every x at 0 through the origin")
        << Points{{0, 2, 1}, {0, 4, 1}} << true << false << 0.0 << 0.0 << 0.0 << -1.0 << 0.0;
}

void TestLessonFit::line()
{
    QFETCH(Points, points);
    QFETCH(bool, through_origin);
    QFETCH(bool, fitted);
    QFETCH(double, slope);
    QFETCH(double, slope_error);
    QFETCH(double, intercept);
    QFETCH(double, intercept_error);
    QFETCH(double, r_squared);

    const std::optional<analysis::LessonLine> line = analysis::fit_lesson_line(points, through_origin);
    QCOMPARE(line.has_value(), fitted);
    if (!line)
        return;
    auto near = [](double actual, double expected) {
        return std::fabs(actual - expected) <= 1e-12 * (1 + std::fabs(expected));
    };
    QVERIFY2(near(line->slope, slope), qPrintable(QString::number(line->slope, 'g', 17)));
    QVERIFY2(near(line->slope_error, slope_error), qPrintable(QString::number(line->slope_error, 'g', 17)));
    QVERIFY2(near(line->intercept, intercept), qPrintable(QString::number(line->intercept, 'g', 17)));
    QCOMPARE(line->intercept_error.has_value(), intercept_error >= 0);
    if (line->intercept_error)
        QVERIFY2(near(*line->intercept_error, intercept_error),
            qPrintable(QString::number(*line->intercept_error, 'g', 17)));
    QVERIFY(line->r_squared);
    QVERIFY2(near(*line->r_squared, r_squared), qPrintable(QString::number(*line->r_squared, 'g', 17)));
}

QTEST_GUILESS_MAIN(TestLessonFit)
#include "tst_lesson_fit.moc"
