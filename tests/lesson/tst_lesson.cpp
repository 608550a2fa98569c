// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A lesson of runs: the values typed, the law through the runs and what it leaves out, the runs
// taken out and put back, and the lesson's limit.

#include "common/measurement_plan.h"
#include "lesson/lesson.h"
#include "lesson_runs.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>

namespace {

using test_support::simulated_run;

// What the law leaves out and why, in a few words, for the table.
QString described(const LessonLaw &law)
{
    static const char *const names[] = {"no value", "0 under 1/x", "no position fit", "no standard error"};
    QStringList parts;
    for (const auto &[why, runs] : law.left_out) {
        QStringList numbers;
        for (const std::size_t k : runs)
            numbers << QString::number(k + 1);
        parts << QStringLiteral("%1: %2").arg(QLatin1String(names[static_cast<int>(why)]), numbers.join(','));
    }
    if (law.gap == LawGap::TooFewRuns)
        parts << QStringLiteral("too few runs");
    if (law.gap == LawGap::ValuesAlike)
        parts << QStringLiteral("values alike");
    return parts.join(QStringLiteral("; "));
}

// A cart at a steady 63.4 cm/s whose every hole lasts 5 readings of 20: each edge exactly where the
// motion puts it, so that the position fit leaves no scatter to tell its error by.
LessonRun exact_run()
{
    LessonRun run;
    common::MeasurementState state;
    common::start_measurement(state, 1, 1);
    for (std::int32_t i = 0; i <= state.last_sample; ++i)
        state.samples[static_cast<std::size_t>(i)] = i % 20 < 5 ? 230 : 20;
    run.recording = state;
    return run;
}

}  // namespace

class TestLesson : public QObject {
    Q_OBJECT

private slots:
    void typed_values_data();
    void typed_values();
    void law_of_three_runs_data();
    void law_of_three_runs();
    void taking_out_and_putting_back();
    void runs_up_to_the_limit_data();
    void runs_up_to_the_limit();
};

void TestLesson::typed_values_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("holes");  // as 穴数, 0: refused

    QTest::newRow("a whole number") << "3" << true << 3.0 << 3;
    QTest::newRow("a decimal point") << "0.25" << true << 0.25 << 0;
    QTest::newRow("full-width digits and point") << "１．５" << true << 1.5 << 0;
    QTest::newRow("a full-width minus") << "－２" << true << -2.0 << 0;
    QTest::newRow("the minus sign") << "−2" << true << -2.0 << 0;
    QTest::newRow("spaces around") << " 4 " << true << 4.0 << 4;
    QTest::newRow("an exponent") << "1e-3" << true << 0.001 << 0;
    QTest::newRow("a decimal comma") << "1,5" << false << 0.0 << 0;
    QTest::newRow("a word") << "重い" << false << 0.0 << 0;
    QTest::newRow("a unit after it") << "2kg" << false << 0.0 << 0;
    QTest::newRow("infinity") << "inf" << false << 0.0 << 0;
    QTest::newRow("nothing") << "" << false << 0.0 << 0;
    QTest::newRow("full-width holes") << "１２" << true << 12.0 << 12;
    QTest::newRow("the most holes") << "32767" << true << 32767.0 << 32767;
    QTest::newRow("one hole more than the most") << "32768" << true << 32768.0 << 0;
    QTest::newRow("no hole") << "0" << true << 0.0 << 0;
}

void TestLesson::typed_values()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(double, value);
    QFETCH(int, holes);
    const std::optional<double> parsed = parse_condition_value(text);
    QCOMPARE(parsed.has_value(), accepted);
    if (parsed)
        QCOMPARE(*parsed, value);
    QCOMPARE(parse_holes(text).value_or(0), holes);
}

void TestLesson::law_of_three_runs_data()
{
    QTest::addColumn<bool>("inverse");
    QTest::addColumn<bool>("through_origin");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<double>("slope");  // 0: no line
    QTest::addColumn<QString>("left_out");

    // Carts at 40, 80 and 120 cm/s²: a = 40 x, or a = 120 / x with x = 3, 1.5, 1.
    QTest::newRow("x") << false << false << QList<double>{1, 2, 3} << 40.0 << QString();
    QTest::newRow("x through the origin") << false << true << QList<double>{1, 2, 3} << 40.0 << QString();
    QTest::newRow("1/x through the origin") << true << true << QList<double>{3, 1.5, 1} << 120.0 << QString();
    QTest::newRow("a run without a value") << false << false << QList<double>{1, 2, -1} << 40.0 << "no value: 3";
    QTest::newRow("0 under 1/x, and one run left")
        << true << false << QList<double>{0, -1, 1} << 0.0 << "no value: 2; 0 under 1/x: 1; too few runs";
    QTest::newRow("every value alike") << false << false << QList<double>{2, 2, 2} << 0.0 << "values alike";
    QTest::newRow("a fourth run whose fit has no scatter")
        << false << false << QList<double>{1, 2, 3, 4} << 40.0 << "no standard error: 4";
}

void TestLesson::law_of_three_runs()
{
    QFETCH(bool, inverse);
    QFETCH(bool, through_origin);
    QFETCH(QList<double>, values);
    QFETCH(double, slope);
    QFETCH(QString, left_out);

    Lesson lesson;
    lesson.set_settings({QStringLiteral("おもりの数"), QStringLiteral("個"), inverse, through_origin});
    for (int k = 0; k < 3; ++k) {
        const std::size_t place = *lesson.add(simulated_run(40.0 * (k + 1)));
        lesson.set_value(place, values[k] < 0 ? std::nullopt : std::optional<double>(values[k]));
    }
    if (values.size() > 3)
        lesson.set_value(*lesson.add(exact_run()), values[3]);
    const LessonLaw law = lesson.law();
    QCOMPARE(described(law), left_out);
    QCOMPARE(law.line.has_value(), slope > 0);
    if (law.line) {
        // The cart's law within the line's own error, and that error a fraction of a percent.
        QVERIFY2(std::fabs(law.line->slope - slope) <= 2 * law.line->slope_error,
            qPrintable(QStringLiteral("%1 ± %2").arg(law.line->slope).arg(law.line->slope_error)));
        QVERIFY(law.line->slope_error < 0.01 * slope);
    }
    // Each run is fitted over every section before the cart stops, not only the first 0.7 s: the
    // cart at 120 cm/s² covers 0.7 s in 11 sections of one hole and the whole second in 25.
    QVERIFY2(lesson.row(2).sections > 20, qPrintable(QString::number(lesson.row(2).sections)));
}

void TestLesson::taking_out_and_putting_back()
{
    Lesson lesson;
    const LessonRun first = simulated_run(40);
    lesson.add(first);
    lesson.add(simulated_run(80));
    lesson.add(simulated_run(120));
    lesson.set_shown(2);
    const std::uint64_t id = lesson.runs()[0].id;
    QSignalSpy removed(&lesson, &Lesson::runs_removed);
    // The same readings are found again; another run's are not the first one's.
    QCOMPARE(lesson.find(first.recording), std::optional<std::size_t>(0));
    std::optional<LessonRun> taken = lesson.take(0);
    QVERIFY(taken);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(lesson.runs().size(), std::size_t{2});
    // The run on screen moves up with the rows below the one taken out, and back down after.
    QCOMPARE(lesson.shown(), std::optional<std::size_t>(1));
    QVERIFY(!lesson.find(first.recording));
    lesson.insert(0, std::move(*taken));
    QCOMPARE(lesson.place_of(id), std::optional<std::size_t>(0));
    QCOMPARE(lesson.find(first.recording), std::optional<std::size_t>(0));
    QCOMPARE(lesson.shown(), std::optional<std::size_t>(2));
    // The run on screen taken out is on screen no more.
    QVERIFY(lesson.take(2));
    QCOMPARE(lesson.shown(), std::nullopt);
    QVERIFY(!lesson.take(2));
}

void TestLesson::runs_up_to_the_limit_data()
{
    QTest::addColumn<int>("runs");
    QTest::addColumn<int>("kept");

    QTest::newRow("two short of the most") << 198 << 198;
    QTest::newRow("one short of the most") << 199 << 199;
    QTest::newRow("the most") << 200 << 200;
    QTest::newRow("one past the most") << 201 << 200;
}

void TestLesson::runs_up_to_the_limit()
{
    QFETCH(int, runs);
    QFETCH(int, kept);
    Lesson lesson;
    const LessonRun run = simulated_run(40);
    int refused = 0;
    for (int k = 0; k < runs; ++k)
        refused += lesson.add(run) ? 0 : 1;
    QCOMPARE(static_cast<int>(lesson.runs().size()), kept);
    QCOMPARE(refused, runs - kept);
    QCOMPARE(lesson.full(), kept == 200);
    // Another group's two runs join as one change, or not at all.
    const bool fit = kept + 2 <= 200;
    QCOMPARE(lesson.add_runs({run, run}).has_value(), fit);
    QCOMPARE(static_cast<int>(lesson.runs().size()), fit ? kept + 2 : kept);
}

QTEST_GUILESS_MAIN(TestLesson)
#include "tst_lesson.moc"
