// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The number conventions (floor, rounding halves to even, range-checked conversions) and the
// arithmetic of the signed 32-bit millisecond tick counter.

#include "common/numeric.h"
#include "common/ticks.h"

#include <QTest>

#include <cstdint>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();

}  // namespace

class TestNumeric : public QObject {
    Q_OBJECT

private slots:
    void round_half_even_data();
    void round_half_even();
    void int_floor_data();
    void int_floor();
    void checked_integer_16_bit_data();
    void checked_integer_16_bit();
    void checked_integer_32_bit_data();
    void checked_integer_32_bit();
    void round_to_pixel_data();
    void round_to_pixel();
    void to_single_rounds_to_the_nearest_float();

    void tick_reached_data();
    void tick_reached();
    void tick_add_data();
    void tick_add();
    void tick_from_ns_data();
    void tick_from_ns();
};

void TestNumeric::round_half_even_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("rounded");

    QTest::newRow("2.5 goes down to even 2") << 2.5 << 2.0;
    QTest::newRow("3.5 goes up to even 4") << 3.5 << 4.0;
    QTest::newRow("0.5 goes to 0") << 0.5 << 0.0;
    QTest::newRow("1.5 goes to 2") << 1.5 << 2.0;
    QTest::newRow("-0.5 goes to 0") << -0.5 << 0.0;
    QTest::newRow("-1.5 goes to -2") << -1.5 << -2.0;
    QTest::newRow("-2.5 goes to -2") << -2.5 << -2.0;
    QTest::newRow("-3.5 goes to -4") << -3.5 << -4.0;
    QTest::newRow("2.4 goes to 2") << 2.4 << 2.0;
    QTest::newRow("2.6 goes to 3") << 2.6 << 3.0;
    QTest::newRow("-2.6 goes to -3") << -2.6 << -3.0;
    QTest::newRow("-2.4 goes to -2") << -2.4 << -2.0;
    // The largest double below 0.5: adding 0.5 and flooring would give 1.
    QTest::newRow("0.49999999999999994 goes to 0") << 0.49999999999999994 << 0.0;
    QTest::newRow("-0.49999999999999994 goes to 0") << -0.49999999999999994 << 0.0;
    QTest::newRow("just above 2.5 goes to 3") << 2.5000000000000004 << 3.0;
    QTest::newRow("just below -2.5 goes to -3") << -2.5000000000000004 << -3.0;
    QTest::newRow("a tiny negative goes to 0") << -1e-300 << 0.0;
    QTest::newRow("2^52 + 1 stays") << 4503599627370497.0 << 4503599627370497.0;
    QTest::newRow("1e300 stays") << 1e300 << 1e300;
    QTest::newRow("239.2 goes to 239") << 239.2 << 239.0;
}

void TestNumeric::round_half_even()
{
    QFETCH(double, value);
    QFETCH(double, rounded);

    // The results are whole numbers: exact comparison (QCOMPARE on doubles would be fuzzy).
    QVERIFY2(common::round_half_even(value) == rounded, qPrintable(QString::number(common::round_half_even(value))));
}

void TestNumeric::int_floor_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("floor");

    QTest::newRow("2.7 gives 2") << 2.7 << 2.0;
    QTest::newRow("2 gives 2") << 2.0 << 2.0;
    QTest::newRow("-0.1 gives -1") << -0.1 << -1.0;
    QTest::newRow("-2 gives -2") << -2.0 << -2.0;
    QTest::newRow("-2.5 gives -3") << -2.5 << -3.0;
    QTest::newRow("-2.0000000000000004 gives -3") << -2.0000000000000004 << -3.0;
    QTest::newRow("199.99999 gives 199") << 199.99999 << 199.0;
}

void TestNumeric::int_floor()
{
    QFETCH(double, value);
    QFETCH(double, floor);

    QVERIFY(common::int_floor(value) == floor);
}

void TestNumeric::checked_integer_16_bit_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("converted");

    QTest::newRow("32767 fits") << 32767.0 << true << 32767;
    QTest::newRow("32768 does not fit") << 32768.0 << false << 0;
    QTest::newRow("-32768 fits") << -32768.0 << true << -32768;
    QTest::newRow("-32769 does not fit") << -32769.0 << false << 0;
    QTest::newRow("0 fits") << 0.0 << true << 0;
    QTest::newRow("-255 fits") << -255.0 << true << -255;
    QTest::newRow("NaN does not fit") << kNaN << false << 0;
    QTest::newRow("+inf does not fit") << kInf << false << 0;
    QTest::newRow("-inf does not fit") << -kInf << false << 0;
}

void TestNumeric::checked_integer_16_bit()
{
    QFETCH(double, value);
    QFETCH(bool, fits);
    QFETCH(int, converted);

    const std::optional<std::int16_t> result = common::checked_integer<std::int16_t>(value);
    QCOMPARE(result.has_value(), fits);
    if (fits)
        QCOMPARE(*result, static_cast<std::int16_t>(converted));
}

void TestNumeric::checked_integer_32_bit_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<qint64>("converted");

    QTest::newRow("2147483647 fits") << 2147483647.0 << true << qint64{2147483647};
    QTest::newRow("2147483648 does not fit") << 2147483648.0 << false << qint64{0};
    QTest::newRow("-2147483648 fits") << -2147483648.0 << true << qint64{-2147483648LL};
    QTest::newRow("-2147483649 does not fit") << -2147483649.0 << false << qint64{0};
    QTest::newRow("100000 fits") << 100000.0 << true << qint64{100000};
    QTest::newRow("1e10 does not fit") << 1e10 << false << qint64{0};
    QTest::newRow("NaN does not fit") << kNaN << false << qint64{0};
    QTest::newRow("+inf does not fit") << kInf << false << qint64{0};
    QTest::newRow("-inf does not fit") << -kInf << false << qint64{0};
}

void TestNumeric::checked_integer_32_bit()
{
    QFETCH(double, value);
    QFETCH(bool, fits);
    QFETCH(qint64, converted);

    const std::optional<std::int32_t> result = common::checked_integer<std::int32_t>(value);
    QCOMPARE(result.has_value(), fits);
    if (fits)
        QCOMPARE(qint64{*result}, converted);
}

void TestNumeric::round_to_pixel_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint64>("pixel");

    QTest::newRow("36.4 gives 36") << 36.4 << qint64{36};
    QTest::newRow("36.5 gives 36, halves to even") << 36.5 << qint64{36};
    QTest::newRow("37.5 gives 38, halves to even") << 37.5 << qint64{38};
    QTest::newRow("-0.5 gives 0") << -0.5 << qint64{0};
    QTest::newRow("-1.5 gives -2") << -1.5 << qint64{-2};
    QTest::newRow("largest int32 stays") << 2147483647.0 << qint64{kInt32Max};
    QTest::newRow("smallest int32 stays") << -2147483648.0 << qint64{kInt32Min};
    QTest::newRow("2147483647.4 stays at the largest") << 2147483647.4 << qint64{kInt32Max};
    QTest::newRow("2147483646.5 goes to even 2147483646") << 2147483646.5 << qint64{2147483646};
    QTest::newRow("1e10 clamps to the largest") << 1e10 << qint64{kInt32Max};
    QTest::newRow("-1e10 clamps to the smallest") << -1e10 << qint64{kInt32Min};
    QTest::newRow("+inf clamps to the largest") << kInf << qint64{kInt32Max};
    QTest::newRow("-inf clamps to the smallest") << -kInf << qint64{kInt32Min};
    QTest::newRow("NaN gives 0") << kNaN << qint64{0};
}

void TestNumeric::round_to_pixel()
{
    QFETCH(double, value);
    QFETCH(qint64, pixel);

    QCOMPARE(qint64{common::round_to_pixel(value)}, pixel);
}

void TestNumeric::to_single_rounds_to_the_nearest_float()
{
    // 1 / 0.015 = 66.666666666666671 in double; the nearest float is 66.66666412353515625.
    QCOMPARE(common::to_single(1.0 / (15 / 1000.0)), 66.66666412353515625f);
    QVERIFY(static_cast<double>(common::to_single(1.0 / 0.015)) * 3.0 < 200.0);
}

void TestNumeric::tick_reached_data()
{
    QTest::addColumn<qint64>("now");
    QTest::addColumn<qint64>("deadline");
    QTest::addColumn<bool>("reached");

    QTest::newRow("1 ms before") << qint64{999} << qint64{1000} << false;
    QTest::newRow("at the deadline") << qint64{1000} << qint64{1000} << true;
    QTest::newRow("1 ms after") << qint64{1001} << qint64{1000} << true;
    QTest::newRow("negative ticks, before") << qint64{-20} << qint64{-10} << false;
    QTest::newRow("negative ticks, after") << qint64{-10} << qint64{-20} << true;
    QTest::newRow("deadline just below the wrap, now still below it")
        << qint64{kInt32Max - 15} << qint64{kInt32Max - 5} << false;
    QTest::newRow("deadline just below the wrap, now wrapped negative")
        << qint64{kInt32Min + 3} << qint64{kInt32Max - 5} << true;
    QTest::newRow("deadline wrapped negative, now just below the wrap")
        << qint64{kInt32Max - 5} << qint64{kInt32Min + 3} << false;
    QTest::newRow("deadline wrapped negative, now past it") << qint64{kInt32Min + 4} << qint64{kInt32Min + 3} << true;
    QTest::newRow("deadline at the largest tick, now the smallest") << qint64{kInt32Min} << qint64{kInt32Max} << true;
}

void TestNumeric::tick_reached()
{
    QFETCH(qint64, now);
    QFETCH(qint64, deadline);
    QFETCH(bool, reached);

    QCOMPARE(common::tick_reached(static_cast<common::Tick>(now), static_cast<common::Tick>(deadline)), reached);
}

void TestNumeric::tick_add_data()
{
    QTest::addColumn<qint64>("deadline");
    QTest::addColumn<int>("period_ms");
    QTest::addColumn<qint64>("sum");

    QTest::newRow("1000 + 15") << qint64{1000} << 15 << qint64{1015};
    QTest::newRow("-30 + 10") << qint64{-30} << 10 << qint64{-20};
    QTest::newRow("largest - 4 + 10 wraps to smallest + 5") << qint64{kInt32Max - 4} << 10 << qint64{kInt32Min + 5};
    QTest::newRow("largest + 1 wraps to smallest") << qint64{kInt32Max} << 1 << qint64{kInt32Min};
    QTest::newRow("-1 + 1 gives 0") << qint64{-1} << 1 << qint64{0};
    QTest::newRow("a negative period moves back") << qint64{kInt32Min} << -1 << qint64{kInt32Max};
}

void TestNumeric::tick_add()
{
    QFETCH(qint64, deadline);
    QFETCH(int, period_ms);
    QFETCH(qint64, sum);

    QCOMPARE(qint64{common::tick_add(static_cast<common::Tick>(deadline), period_ms)}, sum);
}

void TestNumeric::tick_from_ns_data()
{
    QTest::addColumn<qint64>("ns");
    QTest::addColumn<qint64>("tick");

    QTest::newRow("0 ns") << qint64{0} << qint64{0};
    QTest::newRow("999999 ns is still tick 0") << qint64{999'999} << qint64{0};
    QTest::newRow("1 ms") << qint64{1'000'000} << qint64{1};
    QTest::newRow("1.5 s") << qint64{1'500'000'000} << qint64{1500};
    QTest::newRow("2^31 - 1 ms is the largest tick") << qint64{2'147'483'647LL * 1'000'000} << qint64{kInt32Max};
    QTest::newRow("2^31 ms wraps to the smallest tick") << qint64{2'147'483'648LL * 1'000'000} << qint64{kInt32Min};
    QTest::newRow("2^32 ms wraps to 0") << qint64{4'294'967'296LL * 1'000'000} << qint64{0};
    QTest::newRow("2^32 + 7 ms wraps to 7") << qint64{4'294'967'303LL * 1'000'000 + 999'999} << qint64{7};
    // 365 days = 31536000000 ms = 7 x 2^32 + 1471228928 ms.
    QTest::newRow("a year of uptime") << qint64{31'536'000'000LL * 1'000'000} << qint64{1'471'228'928};
}

void TestNumeric::tick_from_ns()
{
    QFETCH(qint64, ns);
    QFETCH(qint64, tick);

    QCOMPARE(qint64{common::tick_from_ns(ns)}, tick);
}

QTEST_GUILESS_MAIN(TestNumeric)
#include "tst_numeric.moc"
