// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The six number patterns of the program's texts, case by case against their rules.

#include "common/number_format.h"

#include <QTest>

#include <limits>

class TestNumberFormat : public QObject {
    Q_OBJECT

private slots:
    void each_pattern_data();
    void each_pattern();
    void rounding_halves_away_from_zero_data();
    void rounding_halves_away_from_zero();
    void carry_across_the_point_data();
    void carry_across_the_point();
    void float_values_data();
    void float_values();
    void non_finite_values_keep_the_copied_text();

private:
    void compare_text();
};

void TestNumberFormat::each_pattern_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");

    // "0.000": one digit always before the point, three always after it.
    QTest::newRow("0.000 of 0.05 gives 0.050") << 0.05 << "0.000"
                                               << "0.050";
    QTest::newRow("0.000 of 0 gives 0.000") << 0.0 << "0.000"
                                            << "0.000";
    QTest::newRow("0.000 of 1.2 gives 1.200") << 1.2 << "0.000"
                                              << "1.200";
    QTest::newRow("0.000 of 12.3456 gives 12.346") << 12.3456 << "0.000"
                                                   << "12.346";
    QTest::newRow("0.000 of -0.25 gives -0.250") << -0.25 << "0.000"
                                                 << "-0.250";

    // "##0.00": at least one integer digit, always two decimals.
    QTest::newRow("##0.00 of 0 gives 0.00") << 0.0 << "##0.00"
                                            << "0.00";
    QTest::newRow("##0.00 of 200 gives 200.00") << 200.0 << "##0.00"
                                                << "200.00";
    QTest::newRow("##0.00 of 0.5 gives 0.50") << 0.5 << "##0.00"
                                              << "0.50";
    QTest::newRow("##0.00 of 7.004 gives 7.00") << 7.004 << "##0.00"
                                                << "7.00";
    QTest::newRow("##0.00 of 12345.678 shows every integer digit") << 12345.678 << "##0.00"
                                                                   << "12345.68";
    QTest::newRow("##0.00 of -3.1 gives -3.10") << -3.1 << "##0.00"
                                                << "-3.10";

    // "0.0"
    QTest::newRow("0.0 of 0 gives 0.0") << 0.0 << "0.0"
                                        << "0.0";
    QTest::newRow("0.0 of 0.04 gives 0.0") << 0.04 << "0.0"
                                           << "0.0";
    QTest::newRow("0.0 of 3 gives 3.0") << 3.0 << "0.0"
                                        << "3.0";
    QTest::newRow("0.0 of -1.25 gives -1.3") << -1.25 << "0.0"
                                             << "-1.3";

    // "###": no point, no leading zeros, nothing at all for a whole part of 0.
    QTest::newRow("### of 0 is empty") << 0.0 << "###"
                                       << "";
    QTest::newRow("### of 0.4 is empty") << 0.4 << "###"
                                         << "";
    QTest::newRow("### of 7 gives 7") << 7.0 << "###"
                                      << "7";
    QTest::newRow("### of 100 gives 100") << 100.0 << "###"
                                          << "100";
    QTest::newRow("### of 12345 shows every digit") << 12345.0 << "###"
                                                    << "12345";
    QTest::newRow("### of -42 gives -42") << -42.0 << "###"
                                          << "-42";
    QTest::newRow("### of 0.5 rounds up to 1") << 0.5 << "###"
                                               << "1";

    // "###cm/s": the unit is copied behind the number.
    QTest::newRow("###cm/s of 20 gives 20cm/s") << 20.0 << "###cm/s"
                                                << "20cm/s";
    QTest::newRow("###cm/s of 0.3 gives cm/s") << 0.3 << "###cm/s"
                                               << "cm/s";
    QTest::newRow("###cm/s of 55.5 gives 56cm/s") << 55.5 << "###cm/s"
                                                  << "56cm/s";
    QTest::newRow("###cm/s of -12.4 gives -12cm/s") << -12.4 << "###cm/s"
                                                    << "-12cm/s";
    QTest::newRow("###cm/s of 1234 gives 1234cm/s") << 1234.0 << "###cm/s"
                                                    << "1234cm/s";

    // "###.#cm/ss": the point stays even when no decimal follows it.
    QTest::newRow("###.#cm/ss of 100 gives 100.cm/ss") << 100.0 << "###.#cm/ss"
                                                       << "100.cm/ss";
    QTest::newRow("###.#cm/ss of 0 gives .cm/ss") << 0.0 << "###.#cm/ss"
                                                  << ".cm/ss";
    QTest::newRow("###.#cm/ss of 0.3 gives .3cm/ss") << 0.3 << "###.#cm/ss"
                                                     << ".3cm/ss";
    QTest::newRow("###.#cm/ss of 59.97 gives 60.cm/ss") << 59.97 << "###.#cm/ss"
                                                        << "60.cm/ss";
    QTest::newRow("###.#cm/ss of 61.04 gives 61.cm/ss") << 61.04 << "###.#cm/ss"
                                                        << "61.cm/ss";
    QTest::newRow("###.#cm/ss of 61.26 gives 61.3cm/ss") << 61.26 << "###.#cm/ss"
                                                         << "61.3cm/ss";
    QTest::newRow("###.#cm/ss of -9.81 gives -9.8cm/ss") << -9.81 << "###.#cm/ss"
                                                         << "-9.8cm/ss";
    QTest::newRow("###.# of 100 gives 100.") << 100.0 << "###.#"
                                             << "100.";
}

void TestNumberFormat::each_pattern() { compare_text(); }

// The check of every table with a double value.
void TestNumberFormat::compare_text()
{
    QFETCH(double, value);
    QFETCH(QString, pattern);
    QFETCH(QString, text);

    QCOMPARE(QString::fromStdString(common::format_number(value, pattern.toStdString())), text);
}

void TestNumberFormat::rounding_halves_away_from_zero_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");

    // Halves go away from zero here, unlike the conversions to integers, which go to even.
    QTest::newRow("2.5 gives 3") << 2.5 << "###"
                                 << "3";
    QTest::newRow("3.5 gives 4") << 3.5 << "###"
                                 << "4";
    QTest::newRow("-2.5 gives -3") << -2.5 << "###"
                                   << "-3";
    QTest::newRow("-3.5 gives -4") << -3.5 << "###"
                                   << "-4";
    QTest::newRow("0.05 to one decimal gives 0.1") << 0.05 << "0.0"
                                                   << "0.1";
    QTest::newRow("-0.05 to one decimal gives -0.1") << -0.05 << "0.0"
                                                     << "-0.1";
    QTest::newRow("0.0625 to three decimals gives 0.063") << 0.0625 << "0.000"
                                                          << "0.063";
    QTest::newRow("0.0645 to three decimals gives 0.065") << 0.0645 << "0.000"
                                                          << "0.065";
    QTest::newRow("1.125 to two decimals gives 1.13") << 1.125 << "##0.00"
                                                      << "1.13";
    QTest::newRow("-1.125 to two decimals gives -1.13") << -1.125 << "##0.00"
                                                        << "-1.13";
    QTest::newRow("2.44999 to one decimal gives 2.4") << 2.44999 << "0.0"
                                                      << "2.4";
    // The rounding works on the value's shortest decimal text: 0.15 is read as 0.15, not as the
    // binary 0.1499999999999999944...
    QTest::newRow("0.15 to one decimal gives 0.2") << 0.15 << "0.0"
                                                   << "0.2";
    QTest::newRow("2.675 to two decimals gives 2.68") << 2.675 << "##0.00"
                                                      << "2.68";
}

void TestNumberFormat::rounding_halves_away_from_zero() { compare_text(); }

void TestNumberFormat::carry_across_the_point_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");

    QTest::newRow("9.96 under 0.0 gives 10.0") << 9.96 << "0.0"
                                               << "10.0";
    QTest::newRow("0.99 under ###.# gives 1.") << 0.99 << "###.#"
                                               << "1.";
    QTest::newRow("99.5 under ### gives 100") << 99.5 << "###"
                                              << "100";
    QTest::newRow("999.9996 under 0.000 gives 1000.000") << 999.9996 << "0.000"
                                                         << "1000.000";
    QTest::newRow("-9.996 under ##0.00 gives -10.00") << -9.996 << "##0.00"
                                                      << "-10.00";
    QTest::newRow("0.9999 under 0.000 gives 1.000") << 0.9999 << "0.000"
                                                    << "1.000";
    QTest::newRow("0.995 under ##0.00 gives 1.00") << 0.995 << "##0.00"
                                                   << "1.00";
    QTest::newRow("0.96 under ###.# gives 1.") << 0.96 << "###.#"
                                               << "1.";
}

void TestNumberFormat::carry_across_the_point() { compare_text(); }

void TestNumberFormat::float_values_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");

    // Stored values are 32-bit floats; the float overload rounds the float's own shortest text
    // (6.675f is 6.67499971..., 98.45f is 98.44999694..., but they read as 6.675 and 98.45).
    QTest::newRow("6.675f under ### gives 7") << 6.675f << "###"
                                              << "7";
    QTest::newRow("98.45f under ###.# gives 98.5") << 98.45f << "###.#"
                                                   << "98.5";
    QTest::newRow("98.45f under ###.#cm/ss gives 98.5cm/ss") << 98.45f << "###.#cm/ss"
                                                             << "98.5cm/ss";
    QTest::newRow("0.15f under 0.0 gives 0.2") << 0.15f << "0.0"
                                               << "0.2";
    QTest::newRow("66.666664f under ##0.00 gives 66.67") << 66.666664f << "##0.00"
                                                         << "66.67";
    QTest::newRow("1.0005f under 0.000 gives 1.001") << 1.0005f << "0.000"
                                                     << "1.001";
    QTest::newRow("-20.5f under ###cm/s gives -21cm/s") << -20.5f << "###cm/s"
                                                        << "-21cm/s";
    QTest::newRow("0.0f under ###cm/s gives cm/s") << 0.0f << "###cm/s"
                                                   << "cm/s";
    QTest::newRow("16777216f under ### gives 16777216") << 16777216.0f << "###"
                                                        << "16777216";
}

void TestNumberFormat::float_values()
{
    QFETCH(float, value);
    QFETCH(QString, pattern);
    QFETCH(QString, text);

    QCOMPARE(QString::fromStdString(common::format_number(value, pattern.toStdString())), text);
}

void TestNumberFormat::non_finite_values_keep_the_copied_text()
{
    // No pattern has a place for these: the word stands in for the number, the unit stays.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QCOMPARE(common::format_number(nan, "###cm/s"), std::string("NaNcm/s"));
    QCOMPARE(common::format_number(inf, "###.#cm/ss"), std::string("Infcm/ss"));
    QCOMPARE(common::format_number(-inf, "0.000"), std::string("-Inf"));
    QCOMPARE(common::format_number(std::numeric_limits<float>::infinity(), "###"), std::string("Inf"));
}

QTEST_GUILESS_MAIN(TestNumberFormat)
#include "tst_number_format.moc"
