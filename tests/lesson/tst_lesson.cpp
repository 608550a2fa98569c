// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A lesson of runs: the values and ranges typed, the law through the runs and what it leaves out,
// each run over its range or over every section before a turn, the lesson's file read back, the runs
// taken out and put back, and the lesson's limit.

#include "common/measurement_plan.h"
#include "lesson/lesson.h"
#include "lesson_runs.h"
#include "storage/lesson_csv.h"

#include <QSignalSpy>
#include <QTest>

#include <algorithm>
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
    run.origin.source = {QStringLiteral("port"), QStringLiteral("COM3")};
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
    QTest::addColumn<int>("holes");            // as 穴数, 0: refused
    QTest::addColumn<QList<double>>("range");  // as 範囲(s) of a run of 1 s, start and end; empty: refused

    const QList<double> none;
    QTest::newRow("a whole number") << "3" << true << 3.0 << 3 << none;
    QTest::newRow("a decimal point") << "0.25" << true << 0.25 << 0 << none;
    QTest::newRow("full-width digits and point") << "１．５" << true << 1.5 << 0 << none;
    QTest::newRow("a full-width minus") << "－２" << true << -2.0 << 0 << none;
    QTest::newRow("the minus sign") << "−2" << true << -2.0 << 0 << none;
    QTest::newRow("spaces around") << " 4 " << true << 4.0 << 4 << none;
    QTest::newRow("an exponent") << "1e-3" << true << 0.001 << 0 << none;
    QTest::newRow("a decimal comma") << "1,5" << false << 0.0 << 0 << none;
    QTest::newRow("a word") << "重い" << false << 0.0 << 0 << none;
    QTest::newRow("a unit after it") << "2kg" << false << 0.0 << 0 << none;
    QTest::newRow("infinity") << "inf" << false << 0.0 << 0 << none;
    QTest::newRow("nothing") << "" << false << 0.0 << 0 << none;
    QTest::newRow("full-width holes") << "１２" << true << 12.0 << 12 << none;
    QTest::newRow("the most holes") << "32767" << true << 32767.0 << 32767 << none;
    QTest::newRow("one hole more than the most") << "32768" << true << 32768.0 << 0 << none;
    QTest::newRow("no hole") << "0" << true << 0.0 << 0 << none;
    QTest::newRow("a range from 0 to the recording's end") << "0-1" << false << 0.0 << 0 << QList<double>{0, 1};
    QTest::newRow("a range from a thousandth before 0") << "-0.001-0.5" << false << 0.0 << 0 << none;
    QTest::newRow("a range to a thousandth past the end") << "0.5-1.001" << false << 0.0 << 0 << none;
    // What the cell shows of a recording whose length is no whole thousandth can be typed back.
    QTest::newRow("a range to the end as shown to 0.001 s")
        << "0.5-1.0004" << false << 0.0 << 0 << QList<double>{0.5, 1};
    QTest::newRow("a range that ends where it starts") << "0.5-0.5" << false << 0.0 << 0 << none;
    QTest::newRow("a range that ends before it starts") << "0.6-0.5" << false << 0.0 << 0 << none;
    QTest::newRow("a range of a thousandth") << "0.499-0.5" << false << 0.0 << 0 << QList<double>{0.499, 0.5};
    QTest::newRow("a full-width range with a wave dash")
        << "０．１～０．６" << false << 0.0 << 0 << QList<double>{0.1, 0.6};
    QTest::newRow("a range with 〜") << "0.1〜0.6" << false << 0.0 << 0 << QList<double>{0.1, 0.6};
    QTest::newRow("a range with an en dash and spaces") << " 0.1 – .6 " << false << 0.0 << 0 << QList<double>{0.1, 0.6};
    QTest::newRow("a range with a full-width hyphen") << "0.1－0.6" << false << 0.0 << 0 << QList<double>{0.1, 0.6};
    QTest::newRow("a range with the kana dash") << "0.1ー0.6" << false << 0.0 << 0 << QList<double>{0.1, 0.6};
    QTest::newRow("a range with its unit") << "0.1-0.6s" << false << 0.0 << 0 << none;
    QTest::newRow("a range without its end") << "0.1-" << false << 0.0 << 0 << none;
    QTest::newRow("a range with a comma") << "0.1,0.6" << false << 0.0 << 0 << none;
    QTest::newRow("three times") << "0.1-0.3-0.6" << false << 0.0 << 0 << none;
}

void TestLesson::typed_values()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(double, value);
    QFETCH(int, holes);
    QFETCH(QList<double>, range);
    const std::optional<double> parsed = parse_condition_value(text);
    QCOMPARE(parsed.has_value(), accepted);
    if (parsed)
        QCOMPARE(*parsed, value);
    QCOMPARE(parse_holes(text).value_or(0), holes);
    // The simulated runs are 1 s: N = 1000 at 1000 readings a second.
    const std::optional<common::TimeRange> typed_range
        = parse_range(text, recording_seconds(simulated_run(40).recording));
    QCOMPARE(typed_range.has_value(), !range.isEmpty());
    if (typed_range)
        QCOMPARE((QList<double>{typed_range->start_s, typed_range->end_s}), range);
}

void TestLesson::law_of_three_runs_data()
{
    QTest::addColumn<bool>("inverse");
    QTest::addColumn<bool>("through_origin");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<double>("slope");  // 0: no line
    QTest::addColumn<QString>("left_out");
    QTest::addColumn<QList<double>>("range");  // each cart's range, start and end in s; empty: none
    QTest::addColumn<QList<int>>("late");      // readings that came late in each run; empty: none

    // Carts at 40, 80 and 120 cm/s² measured for 2 s: a = 40 x, or a = 120 / x with x = 3, 1.5, 1.
    const QList<double> none;
    QTest::newRow("x") << false << false << QList<double>{1, 2, 3} << 40.0 << QString() << none << QList<int>{};
    QTest::newRow("x through the origin")
        << false << true << QList<double>{1, 2, 3} << 40.0 << QString() << none << QList<int>{};
    QTest::newRow("1/x through the origin")
        << true << true << QList<double>{3, 1.5, 1} << 120.0 << QString() << none << QList<int>{};
    QTest::newRow("a run without a value")
        << false << false << QList<double>{1, 2, -1} << 40.0 << "no value: 3" << none << QList<int>{};
    QTest::newRow("0 under 1/x, and one run left")
        << true << false << QList<double>{0, -1, 1} << 0.0 << "no value: 2; 0 under 1/x: 1; too few runs" << none
        << QList<int>{};
    QTest::newRow("every value alike") << false << false << QList<double>{2, 2, 2} << 0.0 << "values alike" << none
                                       << QList<int>{};
    QTest::newRow("a fourth run whose fit has no scatter")
        << false << false << QList<double>{1, 2, 3, 4} << 40.0 << "no standard error: 4" << none << QList<int>{};
    QTest::newRow("x, each cart over 0.2–0.5 s")
        << false << false << QList<double>{1, 2, 3} << 40.0 << QString() << QList<double>{0.2, 0.5} << QList<int>{};
    QTest::newRow("x, each cart from its start to 0.3 s")
        << false << false << QList<double>{1, 2, 3} << 40.0 << QString() << QList<double>{0, 0.3} << QList<int>{};
    // Readings 700..730 of each run came late: the sections they spoil are fitted by none.
    QTest::newRow("x, readings 700-730 of each run late")
        << false << false << QList<double>{1, 2, 3} << 40.0 << QString() << none << QList<int>{700, 730};
}

void TestLesson::law_of_three_runs()
{
    QFETCH(bool, inverse);
    QFETCH(bool, through_origin);
    QFETCH(QList<double>, values);
    QFETCH(double, slope);
    QFETCH(QString, left_out);
    QFETCH(QList<double>, range);
    QFETCH(QList<int>, late);

    Lesson lesson;
    lesson.set_settings({QStringLiteral("おもりの数"), QStringLiteral("個"), inverse, through_origin});
    std::vector<LessonRow> whole_runs;
    for (int k = 0; k < 3; ++k) {
        LessonRun run = simulated_run(40.0 * (k + 1), 20, 2);
        // The whole run as it would be with its readings all on time.
        Lesson on_time;
        whole_runs.push_back(on_time.row(*on_time.add(run)));
        if (!late.isEmpty())
            run.late_readings = {{late[0], late[1]}};
        const std::size_t place = *lesson.add(run);
        lesson.set_value(place, values[k] < 0 ? std::nullopt : std::optional<double>(values[k]));
        if (!range.isEmpty())
            lesson.set_range(place, common::TimeRange{range[0], range[1]});
    }
    if (values.size() > 3)
        lesson.set_value(*lesson.add(exact_run()), values[3]);
    const LessonLaw law = lesson.law();
    QCOMPARE(described(law), left_out);
    QCOMPARE(law.line.has_value(), slope > 0);
    if (law.line) {
        // The cart's law within twice the line's own error.
        QVERIFY2(std::fabs(law.line->slope - slope) <= 2 * law.line->slope_error,
            qPrintable(QStringLiteral("%1 ± %2").arg(law.line->slope).arg(law.line->slope_error)));
        // That error a fraction of a percent over whole runs, a few percent over 0.3 s.
        QVERIFY(law.line->slope_error < (range.isEmpty() ? 0.01 : 0.03) * slope);
    }
    for (std::size_t k = 0; k < 3; ++k) {
        const LessonRow &row = lesson.row(k);
        const std::vector<float> &mid_times = whole_runs[k].times;
        if (!late.isEmpty()) {
            // Each section the 31 late readings touch is left out (a few, at 48 to 104 cm/s), and
            // only those.
            QVERIFY(!row.spoiled_sections.empty() && row.spoiled_sections.size() <= 5);
            QCOMPARE(row.sections, whole_runs[k].sections - static_cast<std::int32_t>(row.spoiled_sections.size()));
            QCOMPARE(static_cast<std::int32_t>(row.times.size()), row.sections);
            for (const std::int32_t spoiled : row.spoiled_sections)
                QVERIFY(
                    std::find(row.times.begin(), row.times.end(), whole_runs[k].times[spoiled - 1]) == row.times.end());
            continue;
        }
        if (range.isEmpty()) {
            // Each run is fitted over every section before the cart stops, not only the first 0.7 s.
            const auto early = std::count_if(mid_times.begin(), mid_times.end(), [](float t) { return t < 0.7f; });
            QVERIFY2(row.sections > early, qPrintable(QStringLiteral("%1 of %2").arg(row.sections).arg(early)));
            continue;
        }
        // Over its range, a run is fitted over exactly the sections whose mid-times lie in it, and
        // its accelerations are those of these sections alone.
        const auto inside = std::count_if(mid_times.begin(), mid_times.end(),
            [&range](float t) { return double(t) >= range[0] && double(t) <= range[1]; });
        QCOMPARE(row.sections, static_cast<std::int32_t>(inside));
        QCOMPARE(static_cast<std::int32_t>(row.times.size()), row.sections);
        QVERIFY(row.sections < whole_runs[k].sections);
        QVERIFY(row.line && whole_runs[k].line);
        QVERIFY(row.line->acceleration != whole_runs[k].line->acceleration);
        QVERIFY(row.position_fit && whole_runs[k].position_fit);
        QVERIFY(row.position_fit->acceleration != whole_runs[k].position_fit->acceleration);
    }

    // The lesson's file brings back every run with its range, and with it the same rows and law.
    const storage::LessonReadResult read
        = storage::parse_lesson_csv(storage::write_lesson_csv(lesson.to_record(QDateTime::currentDateTime(), {})));
    QVERIFY(read.lesson);
    const std::optional<std::vector<LessonRun>> runs = Lesson::runs_of_record(*read.lesson);
    QVERIFY(runs);
    Lesson again;
    again.replace(Lesson::settings_of_record(*read.lesson), *runs);
    for (std::size_t k = 0; k < lesson.runs().size(); ++k) {
        QCOMPARE(again.runs()[k].range, lesson.runs()[k].range);
        QCOMPARE(again.runs()[k].late_readings, lesson.runs()[k].late_readings);
        QCOMPARE(again.row(k).sections, lesson.row(k).sections);
    }
    QCOMPARE(described(again.law()), left_out);
    if (law.line)
        QCOMPARE(again.law().line->slope, law.line->slope);
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
