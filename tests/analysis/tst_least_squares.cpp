// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The least-squares line through the velocity points, and the texts it is printed with.

#include "analysis/least_squares.h"

#include "common/number_format.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

// Section tables with the points at 1..n and a value in entry 0 that must not be used.
struct Tables {
    std::vector<float> time;
    std::vector<float> velocity;
};

Tables tables(const QList<float> &times, const QList<float> &velocities)
{
    Tables t{{1000.0f}, {-1000.0f}};
    t.time.insert(t.time.end(), times.begin(), times.end());
    t.velocity.insert(t.velocity.end(), velocities.begin(), velocities.end());
    return t;
}

}  // namespace

class TestLeastSquares : public QObject {
    Q_OBJECT

private slots:
    void fit_data();
    void fit();
    void undetermined_data();
    void undetermined();
};

void TestLeastSquares::fit_data()
{
    QTest::addColumn<QList<float>>("times");       // s
    QTest::addColumn<QList<float>>("velocities");  // cm/s
    QTest::addColumn<int>("n");
    QTest::addColumn<double>("acceleration");
    QTest::addColumn<double>("initial_velocity");
    QTest::addColumn<QString>("acceleration_text");
    QTest::addColumn<QString>("initial_velocity_text");

    QTest::newRow("accelerating cart, 4 points") << QList<float>{0.05f, 0.15f, 0.25f, 0.35f}
                                                 << QList<float>{12, 21, 31, 41.5f} << 4 << 98.5 << 6.675 << "98.5cm/ss"
                                                 << "7cm/s";
    QTest::newRow("points on a line") << QList<float>{0.1f, 0.2f, 0.3f} << QList<float>{30, 40, 50} << 3 << 100.0
                                      << 20.0 << "100.cm/ss"
                                      << "20cm/s";
    QTest::newRow("falling velocities") << QList<float>{0.1f, 0.2f, 0.3f} << QList<float>{50, 40, 30} << 3 << -100.0
                                        << 60.0 << "-100.cm/ss"
                                        << "60cm/s";
    QTest::newRow("initial velocity below 0.5 prints no digits")
        << QList<float>{0.1f, 0.2f} << QList<float>{10.3f, 20.3f} << 2 << 100.0 << 0.3 << "100.cm/ss"
        << "cm/s";
    QTest::newRow("points beyond n are not fitted")
        << QList<float>{0.1f, 0.2f, 0.3f, 0.4f, 0.5f} << QList<float>{30, 40, 50, 500, -7} << 3 << 100.0 << 20.0
        << "100.cm/ss"
        << "20cm/s";
}

void TestLeastSquares::fit()
{
    QFETCH(QList<float>, times);
    QFETCH(QList<float>, velocities);
    QFETCH(int, n);
    QFETCH(double, acceleration);
    QFETCH(double, initial_velocity);
    QFETCH(QString, acceleration_text);
    QFETCH(QString, initial_velocity_text);

    const Tables t = tables(times, velocities);
    const std::optional<analysis::LineFit> line = analysis::fit_velocity_line(t.time, t.velocity, n);
    QVERIFY(line.has_value());
    // The times are not exact in binary and the sums are rounded to floats after every addition,
    // so the coefficients carry an error of a few float steps; 1e-4 is well above it and far below
    // anything the printed texts show.
    QVERIFY2(std::fabs(line->acceleration - acceleration) < 1e-4, qPrintable(QString::number(line->acceleration)));
    QVERIFY2(std::fabs(line->initial_velocity - initial_velocity) < 1e-4,
        qPrintable(QString::number(line->initial_velocity)));
    QCOMPARE(QString::fromStdString(common::format_number(line->acceleration, "###.#cm/ss")), acceleration_text);
    QCOMPARE(QString::fromStdString(common::format_number(line->initial_velocity, "###cm/s")), initial_velocity_text);
}

void TestLeastSquares::undetermined_data()
{
    QTest::addColumn<QList<float>>("times");
    QTest::addColumn<QList<float>>("velocities");
    QTest::addColumn<int>("n");

    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    QTest::newRow("no point") << QList<float>{0.1f, 0.2f} << QList<float>{30, 40} << 0;
    QTest::newRow("negative count") << QList<float>{0.1f, 0.2f} << QList<float>{30, 40} << -1;
    QTest::newRow("one point") << QList<float>{0.1f, 0.2f} << QList<float>{30, 40} << 1;
    QTest::newRow("two points at one time") << QList<float>{0.1f, 0.1f} << QList<float>{30, 40} << 2;
    // 0.1f is not exact in binary: the rounded sums leave Ltt a residue instead of 0.
    QTest::newRow("three points at one time") << QList<float>{0.1f, 0.1f, 0.1f} << QList<float>{30, 40, 45} << 3;
    QTest::newRow("seven points at one time")
        << QList<float>{0.3f, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f} << QList<float>{1, 2, 3, 4, 5, 6, 7} << 7;
    QTest::newRow("count beyond the tables") << QList<float>{0.1f, 0.2f} << QList<float>{30, 40} << 3;
    QTest::newRow("count far beyond the tables") << QList<float>{0.1f, 0.2f} << QList<float>{30, 40} << 32767;
    QTest::newRow("not-a-number velocity") << QList<float>{0.1f, 0.2f} << QList<float>{nan, 40} << 2;
    QTest::newRow("infinite time") << QList<float>{0.1f, inf} << QList<float>{30, 40} << 2;
    QTest::newRow("infinite velocity") << QList<float>{0.1f, 0.2f} << QList<float>{30, inf} << 2;
}

void TestLeastSquares::undetermined()
{
    QFETCH(QList<float>, times);
    QFETCH(QList<float>, velocities);
    QFETCH(int, n);

    const Tables t = tables(times, velocities);
    const std::optional<analysis::LineFit> line = analysis::fit_velocity_line(t.time, t.velocity, n);
    QVERIFY2(!line,
        line ? qPrintable(QStringLiteral("a = %1, v0 = %2").arg(line->acceleration).arg(line->initial_velocity)) : "");
}

QTEST_GUILESS_MAIN(TestLeastSquares)
#include "tst_least_squares.moc"
