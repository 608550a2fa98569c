// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The position fit through the edges, against cases worked by hand.

#include "analysis/position_fit.h"
#include "strip_analysis.h"

#include <QTest>

#include <cmath>

using support::every;
using support::Ints;
using support::strip;

Q_DECLARE_METATYPE(analysis::PositionFitRefusal)

class TestPositionFit : public QObject {
    Q_OBJECT

private slots:
    void worked_cases_data();
    void worked_cases();
    void span_data();
    void span();
    void holes_placed_unevenly();
};

void TestPositionFit::worked_cases_data()
{
    QTest::addColumn<Ints>("falling");
    QTest::addColumn<int>("light");
    QTest::addColumn<Ints>("pitches");
    QTest::addColumn<float>("rate");
    QTest::addColumn<double>("v0");
    QTest::addColumn<double>("a");
    QTest::addColumn<double>("v0_error");
    QTest::addColumn<double>("a_error");
    QTest::addColumn<double>("r_squared");
    QTest::addColumn<int>("edges");
    // The tangent at one time and the rise between two others, each with its error.
    QTest::addColumn<QList<double>>("tangent");  // time, slope, error
    QTest::addColumn<QList<double>>("rise");     // from, to, rise, error

    // A pitch every 10 ms, the light rising 4 ms before each fall: 126.8 cm/s without
    // acceleration, holes 0.5072 cm wide, every edge on the curve. 21 falling, 20 rising edges
    // (the first hole rose before t = 0).
    QTest::newRow("uniform motion, falling and rising edges")
        << every(10, 21, 100) << 4 << every(1, 21) << 1000.0f << 126.8 << 0.0 << 0.0 << 0.0 << 1.0 << 41
        << QList<double>{0.1, 126.8, 0} << QList<double>{0.05, 0.15, 12.68, 0};
    // Edges at 0..5 s at pitches 0, 1, 3, 6, 10, 15 (the gaps of missed holes counted): x =
    // 1.268 t (t + 1) / 2 = 0.634 t + 0.634 t², so v0 = 0.634 cm/s and a = 1.268 cm/s².
    QTest::newRow("accelerating, through missed holes")
        << every(10, 6) << 0 << Ints{0, 1, 3, 6, 10, 15} << 10.0f << 0.634 << 1.268 << 0.0 << 0.0 << 1.0 << 6
        << QList<double>{2, 0.634 + 1.268 * 2, 0} << QList<double>{1, 4, 0.634 * (4 + 16) - 0.634 * 2, 0};

    // Falling edges at 0, 11, 20, 29, 40 ms at pitches 0..4. About the mean time 20 ms the times
    // τ = -20, -9, 0, 9, 20 ms are symmetric and the pitches odd, so the curve has no τ² term:
    // x = 2.536 cm + c1 τ with c1 = Στx / Στ² = 1.268 (-9 + 27 + 80) / 962 cm/ms, and a = 0.
    // Residuals ±0.047452 and ±0.105447 cm leave RSS over 5 - 3 degrees of freedom. With
    // Στ² = 962 and Στ⁴ = 333122 (ms), c0 and c2 share det = 5 Στ⁴ - Στ²², so var(c2) =
    // σ² 5 / det and a = 2 c2; v0 = c1 - 2 c2 20 ms, var(v0) = σ² / Στ² + 1600 var(c2). Both
    // errors are widened by Student's t for 2 degrees of freedom, 4.303, over the normal's 1.96.
    const double c1 = 1.268 * 98 / 962 * 1000;  // cm/s
    double rss = 0;
    const double tau[] = {-0.020, -0.009, 0, 0.009, 0.020};
    for (int k = 0; k < 5; ++k)
        rss += std::pow(1.268 * k - 2.536 - c1 * tau[k], 2);
    const double variance = rss / 2;
    const double s_tt = 962e-6;
    const double det = 5 * 333122e-12 - s_tt * s_tt;
    const double var_c2 = variance * 5 / det;
    const double widen = 4.303 / 1.96;
    QTest::newRow("scattered edges worked by hand")
        << Ints{0, 11, 20, 29, 40} << 0 << every(1, 5) << 1000.0f << c1 << 0.0
        << widen * std::sqrt(variance / s_tt + 4 * 0.0004 * var_c2) << widen * 2 * std::sqrt(var_c2)
        << 1 - rss / (1.268 * 1.268 * 10)
        << 5
        // At the mean time the slope is c1 alone, known to σ / √Στ²; over the symmetric 0..40 ms
        // the τ² terms cancel and the rise is 40 ms of it.
        << QList<double>{0.020, c1, widen * std::sqrt(variance / s_tt)}
        << QList<double>{0, 0.040, c1 * 0.040, 0.040 * widen * std::sqrt(variance / s_tt)};
}

void TestPositionFit::worked_cases()
{
    QFETCH(Ints, falling);
    QFETCH(int, light);
    QFETCH(Ints, pitches);
    QFETCH(float, rate);
    QFETCH(double, v0);
    QFETCH(double, a);
    QFETCH(double, v0_error);
    QFETCH(double, a_error);
    QFETCH(double, r_squared);
    QFETCH(int, edges);
    QFETCH(QList<double>, tangent);
    QFETCH(QList<double>, rise);

    const analysis::StripAnalysis analysed = strip(falling, light, pitches, rate);
    const std::optional<analysis::PositionFit> fit = analysis::fit_positions(analysed, analysed.sections);
    QVERIFY(fit);
    // Double precision through a QR solution: 1e-9 of the velocity is far below any fault.
    const double tolerance = 1e-9 * std::max(1.0, std::fabs(v0));
    QVERIFY2(std::fabs(fit->initial_velocity - v0) <= tolerance,
        qPrintable(QString::number(fit->initial_velocity, 'g', 17)));
    QVERIFY2(
        std::fabs(fit->acceleration - a) <= tolerance * 100, qPrintable(QString::number(fit->acceleration, 'g', 17)));
    QVERIFY(fit->initial_velocity_error && fit->acceleration_error);
    QVERIFY2(std::fabs(*fit->initial_velocity_error - v0_error) <= 1e-6 * std::max(1.0, v0_error),
        qPrintable(QString::number(*fit->initial_velocity_error, 'g', 17)));
    QVERIFY2(std::fabs(*fit->acceleration_error - a_error) <= 1e-6 * std::max(1.0, a_error),
        qPrintable(QString::number(*fit->acceleration_error, 'g', 17)));
    QVERIFY(std::fabs(fit->r_squared - r_squared) <= 1e-12);
    QCOMPARE(fit->edges, edges);
    if (light > 0)
        QVERIFY(fit->hole_width_cm && std::fabs(*fit->hole_width_cm - light * v0 / rate) <= 1e-9);
    else
        QVERIFY(!fit->hole_width_cm);

    const analysis::Estimate slope = analysis::velocity_at(*fit, tangent[0]);
    QVERIFY2(std::fabs(slope.value - tangent[1]) <= 1e-9 * std::max(1.0, std::fabs(tangent[1])),
        qPrintable(QString::number(slope.value, 'g', 17)));
    QVERIFY(slope.error && std::fabs(*slope.error - tangent[2]) <= 1e-6 * std::max(1.0, tangent[2]));
    const analysis::Estimate risen = analysis::rise_between(*fit, rise[0], rise[1]);
    QVERIFY2(std::fabs(risen.value - rise[2]) <= 1e-9 * std::max(1.0, std::fabs(rise[2])),
        qPrintable(QString::number(risen.value, 'g', 17)));
    QVERIFY2(risen.error && std::fabs(*risen.error - rise[3]) <= 1e-6 * std::max(1.0, rise[3]),
        qPrintable(QString::number(risen.error.value_or(-1), 'g', 17)));
}

void TestPositionFit::span_data()
{
    QTest::addColumn<int>("holes");
    QTest::addColumn<int>("last_boundary");
    QTest::addColumn<int>("not_the_strips");  // an edge counted twice; -1: none
    QTest::addColumn<int>("before_turn");     // holes before the cart turned; -1: all
    QTest::addColumn<int>("edges");           // 0: no fit
    QTest::addColumn<analysis::PositionFitRefusal>("refusal");
    QTest::addColumn<QList<double>>("window");  // s: the times fitted; empty: every one
    QTest::addColumn<Ints>("unsure");           // readings whose times are not sure: first, last, ...

    using Refusal = analysis::PositionFitRefusal;

    // 21 falling edges, 20 rising: boundary k is edge k x holes; a rising edge belongs to the
    // span when its fall does, except the first hole's, which rose before t = 0.
    QTest::newRow("every boundary") << 1 << 20 << -1 << -1 << 41 << Refusal::None << QList<double>{} << Ints{};
    QTest::newRow("beyond the sections: all of them")
        << 1 << 99 << -1 << -1 << 41 << Refusal::None << QList<double>{} << Ints{};
    QTest::newRow("3 boundaries of 2 holes")
        << 2 << 3 << -1 << -1 << 7 + 6 << Refusal::None << QList<double>{} << Ints{};
    QTest::newRow("1 boundary of 3 holes") << 3 << 1 << -1 << -1 << 4 + 3 << Refusal::None << QList<double>{} << Ints{};
    QTest::newRow("two falling edges are too few")
        << 1 << 1 << -1 << -1 << 0 << Refusal::TooFewEdges << QList<double>{} << Ints{};
    QTest::newRow("no boundary") << 1 << 0 << -1 << -1 << 0 << Refusal::NoSections << QList<double>{} << Ints{};
    // Its fall and rise are left out, and so is the next rise, which followed it in the hole.
    QTest::newRow("an edge counted twice")
        << 1 << 20 << 5 << -1 << 41 - 3 << Refusal::None << QList<double>{} << Ints{};
    // The holes after a turn are the strip passing back: none of them is fitted.
    QTest::newRow("holes before a turn") << 1 << 20 << -1 << 10 << 10 + 9 << Refusal::None << QList<double>{} << Ints{};
    QTest::newRow("four holes before a turn")
        << 1 << 20 << -1 << 4 << 4 + 3 << Refusal::None << QList<double>{} << Ints{};
    // Five edges for four parameters leave one to tell the scatter by: too few.
    QTest::newRow("three holes before a turn")
        << 1 << 20 << -1 << 3 << 0 << Refusal::TooFewBeforeTurn << QList<double>{} << Ints{};
    // Falls every 10 ms from t = 0, each hole lit 4 ms before: a window takes the holes falling
    // within it, ends included, each with its rise when that lies within too.
    QTest::newRow("window 50..150 ms") << 1 << 20 << -1 << -1 << 11 + 10 << Refusal::None << QList<double>{0.05, 0.15}
                                       << Ints{};
    QTest::newRow("window just after a fall")
        << 1 << 20 << -1 << -1 << 10 + 10 << Refusal::None << QList<double>{0.0500001, 0.15} << Ints{};
    QTest::newRow("window just before a fall")
        << 1 << 20 << -1 << -1 << 10 + 9 << Refusal::None << QList<double>{0.05, 0.1499999} << Ints{};
    QTest::newRow("window from the first edge")
        << 1 << 20 << -1 << -1 << 4 + 3 << Refusal::None << QList<double>{0, 0.03} << Ints{};
    QTest::newRow("window of two falls") << 1 << 20 << -1 << -1 << 0 << Refusal::TooFewEdges
                                         << QList<double>{0.0000001, 0.02} << Ints{};
    QTest::newRow("window past a turn") << 1 << 20 << -1 << 10 << 5 + 4 << Refusal::None << QList<double>{0.05, 0.15}
                                        << Ints{};
    // Hole 5 rises on reading 146 and falls on 150: a hole is left out with its fall, its rise
    // alone with itself.
    QTest::newRow("a fall on an unsure reading")
        << 1 << 20 << -1 << -1 << 41 - 2 << Refusal::None << QList<double>{} << Ints{150, 150};
    QTest::newRow("a rise on an unsure reading")
        << 1 << 20 << -1 << -1 << 41 - 1 << Refusal::None << QList<double>{} << Ints{146, 146};
    QTest::newRow("unsure readings between a rise and a fall")
        << 1 << 20 << -1 << -1 << 41 << Refusal::None << QList<double>{} << Ints{147, 149};
    QTest::newRow("an unsure reading just after a fall")
        << 1 << 20 << -1 << -1 << 41 << Refusal::None << QList<double>{} << Ints{151, 151};
}

void TestPositionFit::span()
{
    QFETCH(int, holes);
    QFETCH(int, last_boundary);
    QFETCH(int, not_the_strips);
    QFETCH(int, before_turn);
    QFETCH(int, edges);
    QFETCH(analysis::PositionFitRefusal, refusal);
    QFETCH(QList<double>, window);
    QFETCH(Ints, unsure);

    Ints pitches = every(1, 21);
    if (not_the_strips >= 0)
        pitches[not_the_strips] = -1;
    const analysis::StripAnalysis analysed = strip(every(10, 21, 100), 4, pitches, 1000.0f, holes, before_turn);
    analysis::PositionFitRefusal why = analysis::PositionFitRefusal::Undetermined;
    std::vector<common::ReadingSpan> unsure_readings;
    for (qsizetype i = 0; i + 1 < unsure.size(); i += 2)
        unsure_readings.push_back({unsure[i], unsure[i + 1]});
    const std::optional<analysis::PositionFit> fit = analysis::fit_positions(analysed, last_boundary, &why,
        window.isEmpty() ? std::nullopt : std::optional(common::TimeRange{window[0], window[1]}), unsure_readings);
    QCOMPARE(fit.has_value(), edges > 0);
    QCOMPARE(why, refusal);
    if (fit) {
        QCOMPARE(fit->edges, edges);
        QCOMPARE(fit->before_turn, before_turn >= 0);
        QVERIFY(std::fabs(fit->initial_velocity - 126.8) <= 1e-9 * 126.8);
    }
}

void TestPositionFit::holes_placed_unevenly()
{
    // Every edge read to a tenth of a millisecond, but each hole 0.2 mm off its place, one way or
    // the other in a pattern that never repeats evenly; both edges of a hole move alike. The fit
    // finds that spread from the scatter, and a cart without acceleration within three standard
    // errors. The two edges of each hole then tell the speed there, whatever the hole's place, so
    // the fit with them is the sharper.
    Ints falling;
    std::vector<double> rising;
    std::uint32_t random = 7;
    for (int k = 0; k < 41; ++k) {
        random = random * 1103515245u + 12345u;
        const double place_cm = k * 1.268 + ((random >> 16) % 2 ? 0.02 : -0.02);
        // A cart at 23 cm/s read every 0.1 ms, 551.3 readings a pitch, holes 0.3 cm wide, each edge to
        // its reading.
        falling << static_cast<int>(std::lround(100 + place_cm / 23.0 * 10000));
        rising.push_back(static_cast<double>(std::lround(100 + (place_cm - 0.3) / 23.0 * 10000)));
    }
    analysis::StripAnalysis both = strip(falling, 1, every(1, 41), 10000.0f);
    for (std::size_t k = 0; k < both.check.holes.size(); ++k)
        both.check.holes[k].rising = rising[k];
    const analysis::StripAnalysis falls = strip(falling, 0, every(1, 41), 10000.0f);
    const std::optional<analysis::PositionFit> with_rising = analysis::fit_positions(both, both.sections);
    const std::optional<analysis::PositionFit> alone = analysis::fit_positions(falls, falls.sections);
    QVERIFY(with_rising && alone && with_rising->rising_edges == 40 && alone->rising_edges == 0);
    QVERIFY2(std::fabs(with_rising->hole_spread_cm - 0.02) < 0.002,
        qPrintable(QString::number(with_rising->hole_spread_cm)));
    for (const analysis::PositionFit &fit : {*with_rising, *alone})
        QVERIFY2(std::fabs(fit.acceleration) <= 3 * *fit.acceleration_error,
            qPrintable(QStringLiteral("%1 ± %2").arg(fit.acceleration).arg(*fit.acceleration_error)));
    QVERIFY(*with_rising->acceleration_error < *alone->acceleration_error);
}

QTEST_GUILESS_MAIN(TestPositionFit)
#include "tst_position_fit.moc"
