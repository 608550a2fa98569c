// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A lesson of runs: the values typed, the law through the runs, the copy for a spreadsheet, and the
// lesson kept on disk through a killed program.

#include "common/measurement_plan.h"
#include "converter/simulated_cart.h"
#include "lesson.h"
#include "lesson_keeper.h"
#include "messages.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

// One 計測 of 1 s at 1 ms of the simulated cart, its readings taken at exact instants.
LessonRun simulated_run(double accel_cm_s2)
{
    converter::SimulatedCart cart(converter::CartMotion{20, accel_cm_s2, 0.05});
    LessonRun run;
    common::MeasurementState state;
    common::start_measurement(state, 1, 1);
    for (std::int32_t i = 0; i <= state.last_sample; ++i)
        state.samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(cart.sensor_reading(i * 1e-3));
    run.recording = state;
    run.origin.source = {QStringLiteral("simulated"), QStringLiteral("加速度(cm/s²)"), QString::number(accel_cm_s2)};
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
    void removing_and_bringing_back();
    void kept_lesson_comes_back_data();
    void kept_lesson_comes_back();
    void a_folder_that_cannot_be_written();
};

void TestLesson::typed_values_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("value");

    QTest::newRow("a whole number") << "3" << true << 3.0;
    QTest::newRow("a decimal point") << "0.25" << true << 0.25;
    QTest::newRow("full-width digits and point") << "１．５" << true << 1.5;
    QTest::newRow("a full-width minus") << "－２" << true << -2.0;
    QTest::newRow("the minus sign") << "−2" << true << -2.0;
    QTest::newRow("spaces around") << " 4 " << true << 4.0;
    QTest::newRow("an exponent") << "1e-3" << true << 0.001;
    QTest::newRow("a decimal comma") << "1,5" << false << 0.0;
    QTest::newRow("a word") << "重い" << false << 0.0;
    QTest::newRow("a unit after it") << "2kg" << false << 0.0;
    QTest::newRow("infinity") << "inf" << false << 0.0;
    QTest::newRow("nothing") << "" << false << 0.0;
}

void TestLesson::typed_values()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(double, value);
    const std::optional<double> parsed = parse_condition_value(text);
    QCOMPARE(parsed.has_value(), accepted);
    if (parsed)
        QCOMPARE(*parsed, value);
}

void TestLesson::law_of_three_runs_data()
{
    QTest::addColumn<bool>("inverse");
    QTest::addColumn<bool>("through_origin");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<double>("slope");  // 0: no line
    QTest::addColumn<QString>("note");

    // Carts at 40, 80 and 120 cm/s²: a = 40 x, or a = 120 / x with x = 3, 1.5, 1.
    QTest::newRow("x") << false << false << QList<double>{1, 2, 3} << 40.0 << QString();
    QTest::newRow("x through the origin") << false << true << QList<double>{1, 2, 3} << 40.0 << QString();
    QTest::newRow("1/x through the origin") << true << true << QList<double>{3, 1.5, 1} << 120.0 << QString();
    QTest::newRow("a run without a value")
        << false << false << QList<double>{1, 2, -1} << 40.0 << QStringLiteral("条件の値のない回（3）は除いています。");
    QTest::newRow("0 under 1/x, and one run left")
        << true << false << QList<double>{0, -1, 1} << 0.0
        << QStringLiteral("条件の値のない回（2）は除いています。 条件の値が 0 の回（1）は 1/値 "
                          "にできないので除いています。 直線を引くには、値のある回が 2 "
                          "回以上必要です。");
    QTest::newRow("every value alike") << false << false << QList<double>{2, 2, 2} << 0.0
                                       << QStringLiteral("条件の値がみな同じなので、直線が決まりません。");
}

void TestLesson::law_of_three_runs()
{
    QFETCH(bool, inverse);
    QFETCH(bool, through_origin);
    QFETCH(QList<double>, values);
    QFETCH(double, slope);
    QFETCH(QString, note);

    Lesson lesson;
    lesson.set_condition(QStringLiteral("おもりの数"), QStringLiteral("個"));
    lesson.set_inverse(inverse);
    lesson.set_through_origin(through_origin);
    for (int k = 0; k < 3; ++k) {
        const std::size_t place = lesson.add(simulated_run(40.0 * (k + 1)));
        lesson.set_value(place, values[k] < 0 ? std::nullopt : std::optional<double>(values[k]));
    }
    const LessonLaw law = lesson.law();
    QCOMPARE(law.note, note);
    QCOMPARE(law.line.has_value(), slope > 0);
    if (law.line) {
        // The cart's law within the line's own error, and that error a fraction of a percent.
        QVERIFY2(std::fabs(law.line->slope - slope) <= 2 * law.line->slope_error,
            qPrintable(QStringLiteral("%1 ± %2").arg(law.line->slope).arg(law.line->slope_error)));
        QVERIFY(law.line->slope_error < 0.01 * slope);
    }

    // The copy: the condition, the table's header and rows, a blank row, the law's five rows.
    const std::vector<QStringList> rows = lesson.copy_rows();
    QCOMPARE(rows.size(), std::size_t{1 + 1 + 3 + 1 + 5});
    QCOMPARE(rows[0], (QStringList{QStringLiteral("おもりの数"), QStringLiteral("個")}));
    QCOMPARE(rows[1], Lesson::column_names());
    QCOMPARE(rows[2].size(), Lesson::column_names().size());
    QCOMPARE(rows[2].value(0), QStringLiteral("1"));
    QVERIFY(rows[5].isEmpty());
    QCOMPARE(rows[6].value(0), QStringLiteral("傾き"));
    QCOMPARE(rows[6].value(1).isEmpty(), slope == 0);
    QCOMPARE(rows[7].value(0), QStringLiteral("切片"));
    QCOMPARE(rows[7].value(2).isEmpty(), through_origin || slope == 0);
    QCOMPARE(rows[8].value(0), QStringLiteral("r²"));
    QCOMPARE(rows[9], (QStringList{QStringLiteral("横軸"), inverse ? QStringLiteral("1/x") : QStringLiteral("x")}));
    QCOMPARE(rows[10],
        (QStringList{
            QStringLiteral("原点を通る"), through_origin ? QStringLiteral("はい") : QStringLiteral("いいえ")}));
}

void TestLesson::removing_and_bringing_back()
{
    Lesson lesson;
    const LessonRun first = simulated_run(40);
    lesson.add(first);
    lesson.add(simulated_run(80));
    lesson.add(simulated_run(120));
    lesson.set_shown(2);
    // The same readings are found again; another run's are not the first one's.
    QCOMPARE(lesson.find(first.recording), std::optional<std::size_t>(0));
    lesson.remove(0);
    QCOMPARE(lesson.runs().size(), std::size_t{2});
    QCOMPARE(lesson.shown(), std::optional<std::size_t>(1));
    QVERIFY(!lesson.find(first.recording));
    QVERIFY(lesson.undo());
    QCOMPARE(lesson.runs().size(), std::size_t{3});
    QCOMPARE(lesson.find(first.recording), std::optional<std::size_t>(0));
    QCOMPARE(lesson.shown(), std::optional<std::size_t>(2));
    QVERIFY(!lesson.undo());
}

void TestLesson::kept_lesson_comes_back_data()
{
    QTest::addColumn<QString>("spoil");  // what happens to the kept index before the start
    QTest::addColumn<int>("runs");       // the runs the new start has

    QTest::newRow("as the killed program left it") << QString() << 2;
    QTest::newRow("an index cut short") << QStringLiteral("cut") << 0;
    QTest::newRow("an index of a newer layout") << QStringLiteral("newer") << 0;
    QTest::newRow("a run's file gone") << QStringLiteral("run") << 0;
}

void TestLesson::kept_lesson_comes_back()
{
    QFETCH(QString, spoil);
    QFETCH(int, runs);

    QTemporaryDir data;
    QString folder;
    {
        // The program that was killed: its lesson is on disk after each change, nothing more.
        Lesson lesson;
        LessonKeeper keeper(lesson, data.path());
        keeper.restore();
        lesson.add(simulated_run(40));
        lesson.add(simulated_run(80));
        lesson.set_value(0, 1.0);
        lesson.set_memo(1, QStringLiteral("2 個, 速い"));
        lesson.set_condition(QStringLiteral("おもりの数"), QStringLiteral("個"));
        folder = keeper.folder();
    }
    QFile index(QDir(folder).filePath(QStringLiteral("lesson.csv")));
    if (spoil == QStringLiteral("cut")) {
        QVERIFY(index.open(QIODevice::ReadWrite));
        QVERIFY(index.resize(index.size() - 5));
    } else if (spoil == QStringLiteral("newer")) {
        QVERIFY(index.open(QIODevice::ReadOnly));
        QByteArray bytes = index.readAll();
        index.close();
        bytes.replace("授業の控え,1", "授業の控え,2");
        QVERIFY(index.open(QIODevice::WriteOnly | QIODevice::Truncate));
        index.write(bytes);
    } else if (spoil == QStringLiteral("run")) {
        QVERIFY(QFile::remove(QDir(folder).filePath(QStringLiteral("run-2.csv"))));
    }
    index.close();

    Lesson lesson;
    LessonKeeper keeper(lesson, data.path());
    keeper.restore();
    QCOMPARE(static_cast<int>(lesson.runs().size()), runs);
    if (runs > 0) {
        QCOMPARE(keeper.status(), messages::lesson_brought_back(2));
        QCOMPARE(lesson.runs()[0].value, std::optional<double>(1.0));
        QCOMPARE(lesson.runs()[1].memo, QStringLiteral("2 個, 速い"));
        QCOMPARE(lesson.condition_name(), QStringLiteral("おもりの数"));
        QCOMPARE(keeper.folder(), folder);
        return;
    }
    // Set aside under another name, never deleted; the new lesson has a folder of its own.
    QVERIFY(!QFileInfo::exists(folder));
    QVERIFY(QFileInfo::exists(QDir(folder + QStringLiteral(".読めない")).filePath(QStringLiteral("run-1.csv"))));
    QCOMPARE(
        keeper.status(), messages::lesson_set_aside(QDir::toNativeSeparators(folder + QStringLiteral(".読めない"))));
    QVERIFY(keeper.folder() != folder);
}

void TestLesson::a_folder_that_cannot_be_written()
{
    // A file where the data folder should be: nothing can be kept under it.
    QTemporaryDir data;
    const QString blocked = QDir(data.path()).filePath(QStringLiteral("not-a-folder"));
    QFile file(blocked);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    Lesson lesson;
    LessonKeeper keeper(lesson, blocked);
    QSignalSpy told(&keeper, &LessonKeeper::keeping_failed);
    keeper.restore();
    lesson.add(simulated_run(40));
    lesson.set_value(0, 2.0);
    // Said once, and the lesson goes on in memory.
    QCOMPARE(told.count(), 1);
    QCOMPARE(lesson.runs().size(), std::size_t{1});
    QCOMPARE(lesson.runs()[0].value, std::optional<double>(2.0));
}

QTEST_GUILESS_MAIN(TestLesson)
#include "tst_lesson.moc"
