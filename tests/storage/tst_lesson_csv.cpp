// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A lesson through its file: every run back sample for sample with its settings, origin, group,
// memo and value, from our own file, a spreadsheet's copy or a file of the first layout; and the
// files a reader must refuse, at the line at fault.

#include "short_record.h"
#include "spreadsheet_copy.h"
#include "storage/csv_fields.h"
#include "storage/lesson_csv.h"

#include <QBuffer>
#include <QTest>

#include <algorithm>

using storage::LessonRecord;
using storage::ReadProblem;

Q_DECLARE_METATYPE(storage::ReadProblem)
Q_DECLARE_METATYPE(storage::LessonRecord)

namespace {

// Two runs; the first one's memo holds a comma, quotes and, with `line_end_in_memo`, a line end.
LessonRecord two_run_lesson(bool line_end_in_memo = false)
{
    LessonRecord lesson;
    lesson.program_name = QStringLiteral("undou-kaiseki");
    lesson.program_version = QStringLiteral("1.0.0");
    lesson.saved_at = QDateTime(QDate(2026, 12, 9), QTime(13, 5, 0));
    lesson.condition_name = QStringLiteral("台車の質量");
    lesson.unit = QStringLiteral("kg");
    lesson.inverse = true;
    lesson.through_origin = true;
    storage::LessonRunRecord first;
    first.measurement = test_support::short_record({20, 230, 231, 19, -255, 255, 0, 22, 228, 21, 20});
    first.measurement.measured_at = QDateTime(QDate(2026, 12, 9), QTime(13, 1, 2));
    first.measurement.holes_per_section = 2;
    first.memo
        = line_end_in_memo ? QStringLiteral("おもり 1 個, \"速い\"\n二行目") : QStringLiteral("おもり 1 個, \"速い\"");
    first.value = 0.5;
    first.group = QStringLiteral("1班");
    storage::LessonRunRecord second;
    second.measurement = test_support::short_record({20, 20, 230, 230, 20, 20, 230, 230, 20, 20, 20});
    second.measurement.source = {QStringLiteral("simulated"), QStringLiteral("加速度(cm/s²)"), QStringLiteral("80")};
    second.late = true;
    second.group = QStringLiteral("3組の授業, 2班");
    lesson.runs = {first, second};
    // What a spreadsheet shows first; the reader passes over it.
    lesson.shown_rows
        = {{QStringLiteral("台車の質量"), QStringLiteral("kg")}, {QStringLiteral("回"), QStringLiteral("メモ")},
            {QStringLiteral("1"), QStringLiteral("計測"), QStringLiteral("終わり")}, {},
            {QStringLiteral("傾き"), QStringLiteral("2")}};
    return lesson;
}

QList<QByteArray> lines_of(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast();
    for (QByteArray &line : lines)
        line.chop(1);
    return lines;
}

// The lesson's file with line `number` (1-based, after the byte-order mark) replaced.
QByteArray with_line(int number, const QByteArray &text)
{
    QList<QByteArray> lines = lines_of(storage::write_lesson_csv(two_run_lesson()).mid(3));
    lines[number - 1] = text;
    QByteArray bytes("\xEF\xBB\xBF");
    for (const QByteArray &line : lines)
        bytes += line + "\r\n";
    return bytes;
}

int line_of(const QByteArray &start, const QByteArray &file = storage::write_lesson_csv(two_run_lesson()))
{
    const QList<QByteArray> lines = lines_of(file.mid(3));
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (lines[i].startsWith(start))
            return static_cast<int>(i) + 1;
    return -1;
}

// The lesson with its two runs repeated to `count`.
LessonRecord lesson_of_runs(std::size_t count)
{
    LessonRecord lesson = two_run_lesson();
    for (std::size_t k = 2; k < count; ++k)
        lesson.runs.push_back(lesson.runs[k % 2]);
    return lesson;
}

// The file as a spreadsheet in code page 932 saves it again: every field quoted, every row padded
// to twelve fields, CR LF.
QByteArray spreadsheet_copy(QByteArray file)
{
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    storage::CsvRecordReader records(buffer, file.size());
    QByteArray copy;
    for (storage::CsvRecord record; records.next(record) == storage::CsvRecordReader::Next::Record;) {
        QStringList fields;
        for (const QByteArray &field : record.fields)
            fields << QStringLiteral("\"%1\"").arg(
                QString::fromUtf8(field).replace(QLatin1Char('"'), QStringLiteral("\"\"")));
        copy += test_support::in_cp932(fields.join(QLatin1Char(',')))
            + QByteArray(12 - std::max<qsizetype>(fields.size(), 1), ',') + "\r\n";
    }
    return copy;
}

}  // namespace

class TestLessonCsv : public QObject {
    Q_OBJECT

private slots:
    void round_trip();
    void files_that_open_data();
    void files_that_open();
    void refused_files_data();
    void refused_files();
};

void TestLessonCsv::round_trip()
{
    const LessonRecord lesson = two_run_lesson(true);
    const QByteArray bytes = storage::write_lesson_csv(lesson);
    QVERIFY(storage::is_lesson_csv(bytes));
    QVERIFY(!storage::is_lesson_csv(storage::write_measurement_csv(lesson.runs[0].measurement)));
    // The table a spreadsheet shows comes right after the settings.
    QCOMPARE(QString::fromUtf8(lines_of(bytes.mid(3))[8]), QStringLiteral("台車の質量,kg"));

    const storage::LessonReadResult read = storage::parse_lesson_csv(bytes);
    QVERIFY2(read.lesson, qPrintable(QString::number(read.failure.line)));
    QCOMPARE(read.lesson->condition_name, lesson.condition_name);
    QCOMPARE(read.lesson->unit, lesson.unit);
    QCOMPARE(read.lesson->inverse, true);
    QCOMPARE(read.lesson->through_origin, true);
    QCOMPARE(read.lesson->saved_at, lesson.saved_at);
    QCOMPARE(read.lesson->runs.size(), std::size_t{2});
    for (std::size_t k = 0; k < 2; ++k) {
        const storage::LessonRunRecord &a = lesson.runs[k];
        const storage::LessonRunRecord &b = read.lesson->runs[k];
        QCOMPARE(b.memo, a.memo);
        QCOMPARE(b.value, a.value);
        QCOMPARE(b.late, a.late);
        QCOMPARE(b.measurement.samples, a.measurement.samples);
        QCOMPARE(b.measurement.source, a.measurement.source);
        QCOMPARE(b.measurement.measured_at, a.measurement.measured_at);
        QCOMPARE(b.measurement.holes_per_section, a.measurement.holes_per_section);
        QCOMPARE(b.measurement.period_ms, a.measurement.period_ms);
        QCOMPARE(b.measurement.last_sample, a.measurement.last_sample);
    }
    // The rows a run's settings are checked against, counted in the lesson file, where the memo's
    // line end is a line of its own: the same row is a line earlier without it.
    QCOMPARE(read.sample_rate_lines.size(), std::size_t{2});
    QVERIFY(
        lines_of(storage::write_lesson_csv(two_run_lesson()).mid(3))[read.last_sample_lines[1] - 2].startsWith("N,"));
    // A lesson without runs reads back as one.
    LessonRecord empty = lesson;
    empty.runs.clear();
    const storage::LessonReadResult none = storage::parse_lesson_csv(storage::write_lesson_csv(empty));
    QVERIFY(none.lesson && none.lesson->runs.empty());
}

void TestLessonCsv::files_that_open_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<LessonRecord>("lesson");  // as it reads back

    LessonRecord condition_計測 = two_run_lesson();
    condition_計測.condition_name = QStringLiteral("計測");
    condition_計測.shown_rows[0][0] = condition_計測.condition_name;
    QTest::newRow("計測 as the condition's name") << storage::write_lesson_csv(condition_計測) << condition_計測;
    // 穴数 typed again after グラフ: the run keeps the sections of the graph before.
    LessonRecord holes = two_run_lesson();
    holes.runs[1].measurement.holes_per_section = 3;
    holes.runs[1].measurement.sections = {{0.15f, 0.1f, 1.268f}};
    holes.runs[1].measurement.boundaries = {{0, 0}, {0.2, 3.8}};
    QTest::newRow("holes typed after グラフ") << storage::write_lesson_csv(holes) << holes;
    LessonRecord copied = two_run_lesson(true);
    const QByteArray copy = spreadsheet_copy(storage::write_lesson_csv(copied));
    copied.runs[1].measurement.source[1] = QStringLiteral("加速度(cm/s?)");
    QTest::newRow("saved again in code page 932, quoted and padded") << copy << copied;
    LessonRecord first_layout = two_run_lesson();
    for (storage::LessonRunRecord &run : first_layout.runs)
        run.group.clear();
    QByteArray first_layout_file = storage::write_lesson_csv(first_layout);
    first_layout_file.replace("授業データ,2", "授業データ,1").replace(",班,,遅れ,", ",遅れ,");
    QTest::newRow("layout 1, without groups") << first_layout_file << first_layout;
    // A run's chosen range rides in its measurement file's header.
    LessonRecord ranged = two_run_lesson();
    ranged.runs[0].measurement.range = common::TimeRange{0.1, 0.12345678901234566};
    QTest::newRow("a run with a chosen range") << storage::write_lesson_csv(ranged) << ranged;
    QTest::newRow("200 runs") << storage::write_lesson_csv(lesson_of_runs(200)) << lesson_of_runs(200);
}

void TestLessonCsv::files_that_open()
{
    QFETCH(QByteArray, bytes);
    QFETCH(LessonRecord, lesson);

    QVERIFY(storage::is_lesson_csv(bytes.left(256)));
    const storage::LessonReadResult read = storage::parse_lesson_csv(bytes);
    QVERIFY2(read.lesson, qPrintable(QString::number(read.failure.line)));
    for (std::size_t k = 0; k < std::min(read.lesson->runs.size(), lesson.runs.size()); ++k) {
        QCOMPARE(read.lesson->runs[k].group, lesson.runs[k].group);
        QCOMPARE(read.lesson->runs[k].measurement.holes_per_section, lesson.runs[k].measurement.holes_per_section);
        QVERIFY(read.lesson->runs[k].measurement.range == lesson.runs[k].measurement.range);
    }
    // Everything else is written, so the same file again means the same lesson came back; the rows
    // a spreadsheet shows are not read.
    lesson.shown_rows.clear();
    QCOMPARE(storage::write_lesson_csv(*read.lesson), storage::write_lesson_csv(lesson));
}

void TestLessonCsv::refused_files_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<ReadProblem>("problem");
    QTest::addColumn<int>("line");

    const QByteArray whole = storage::write_lesson_csv(two_run_lesson());
    const int second_run = line_of("計測,2,");
    const int second_samples = line_of("計測,2,") + 13;  // the run's readings start 12 lines in
    QTest::newRow("a measurement file") << storage::write_measurement_csv(test_support::short_record({20}))
                                        << ReadProblem::NotOurs << 1;
    QTest::newRow("a later layout") << with_line(1, "運動の解析 授業データ,3") << ReadProblem::NotOurs << 1;
    QTest::newRow("layout 0") << with_line(1, "運動の解析 授業データ,0") << ReadProblem::NotOurs << 1;
    QTest::newRow("an axis it does not know") << with_line(6, "横軸,log x") << ReadProblem::BrokenLine << 6;
    QTest::newRow("runs out of order") << with_line(second_run, "計測,3,班,,遅れ,0,メモ,,条件の値,")
                                       << ReadProblem::BrokenLine << second_run;
    QTest::newRow("a value that is no number")
        << with_line(second_run, "計測,2,班,,遅れ,1,メモ,,条件の値,二") << ReadProblem::BrokenLine << second_run;
    QTest::newRow("a marker of layout 1 in layout 2")
        << with_line(second_run, "計測,2,遅れ,1,メモ,,条件の値,") << ReadProblem::BrokenLine << second_run;
    const QByteArray too_many = storage::write_lesson_csv(lesson_of_runs(201));
    QTest::newRow("201 runs") << too_many << ReadProblem::BrokenLine << line_of("計測,201,", too_many);
    QTest::newRow("a reading out of range in the second run")
        << with_line(second_samples, "1,0.1,300") << ReadProblem::SampleOutOfRange << second_samples;
    // Refused at the range's line counted in the lesson file: the second run's recording is 1 s.
    LessonRecord long_range = two_run_lesson();
    long_range.runs[1].measurement.range = common::TimeRange{0.5, 1.5};
    const QByteArray long_range_file = storage::write_lesson_csv(long_range);
    QTest::newRow("a range past the second run's recording")
        << long_range_file << ReadProblem::RangeOutOfRange << line_of("範囲(s),", long_range_file);
    QTest::newRow("cut short in the second run") << whole.left(whole.size() - 200) << ReadProblem::Truncated << -1;
    QTest::newRow("no closing line") << whole.left(whole.size() - QByteArray("授業の終わり\r\n").size())
                                     << ReadProblem::Truncated << -1;
}

void TestLessonCsv::refused_files()
{
    QFETCH(QByteArray, bytes);
    QFETCH(ReadProblem, problem);
    QFETCH(int, line);

    const storage::LessonReadResult read = storage::parse_lesson_csv(bytes);
    QVERIFY(!read.lesson);
    QCOMPARE(read.failure.problem, problem);
    if (line > 0)
        QCOMPARE(read.failure.line, line);
}

QTEST_GUILESS_MAIN(TestLessonCsv)
#include "tst_lesson_csv.moc"
