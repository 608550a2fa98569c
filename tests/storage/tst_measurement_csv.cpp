// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The CSV file of a measurement: what it holds and in what form, that what is written reads back
// to the same values, and that anything else is refused with the line that shows why.

#include "short_record.h"
#include "spreadsheet_copy.h"
#include "storage/measurement_csv.h"

#include <QBuffer>
#include <QTest>

#include <cmath>

using storage::MeasurementRecord;
using storage::ReadProblem;

Q_DECLARE_METATYPE(storage::ReadProblem)

namespace {

// 100 ms for 1 s: 10 readings a second, N = 10, readings 0..10.
MeasurementRecord small_record()
{
    return test_support::short_record({20, 230, 231, 19, -255, 255, 0, 22, 228, 21, 20});
}

MeasurementRecord analysed_record()
{
    MeasurementRecord record = small_record();
    record.measured_at = QDateTime(QDate(2026, 12, 7), QTime(15, 29, 4));
    record.holes_per_section = 3;
    record.sections = {{0.1f, 0.2f, 19.0199986f}, {0.3f, 0.15f, 25.3599987f}};
    record.boundaries = {{0, 0}, {0.2, 3.8039999008178711}, {0.35, 7.6079998016357422}};
    storage::FitRecord fit;
    fit.initial_velocity = 12.3456789f;
    fit.acceleration = 31.7f;
    fit.initial_velocity_text = QStringLiteral("12cm/s");
    fit.acceleration_text = QStringLiteral("31.7cm/ss");
    fit.statistics.points = 2;
    fit.statistics.intercept = 12.345678912345678;
    fit.statistics.slope = 31.700000000000003;
    fit.statistics.r_squared = 1.0;
    record.fit = fit;
    record.position_fit = storage::PositionFitRecord{12.25, 0.5, 31.625, std::nullopt, 0.99990000000000001, 4};
    record.strip_check = storage::StripCheckRecord{{1, 2}, {}, 126.8, {}, std::nullopt, {}};
    return record;
}

QList<QByteArray> lines_of(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast();  // after the last line's end
    for (QByteArray &line : lines)
        line.chop(1);  // the CR
    return lines;
}

QByteArray joined(const QList<QByteArray> &lines)
{
    QByteArray bytes;
    for (const QByteArray &line : lines)
        bytes += line + "\r\n";
    return bytes;
}

// The small record's file with line `number` (1-based) replaced, or removed for an empty text.
QByteArray with_line(int number, const QByteArray &text)
{
    QList<QByteArray> lines = lines_of(storage::write_measurement_csv(small_record()));
    if (text.isNull())
        lines.removeAt(number - 1);
    else
        lines[number - 1] = text;
    return joined(lines);
}

}  // namespace

class TestMeasurementCsv : public QObject {
    Q_OBJECT

private slots:
    void layout_of_a_small_file();
    void records_read_back_data();
    void records_read_back();
    void refused_files_data();
    void refused_files();
    void spreadsheet_copies_are_read_data();
    void spreadsheet_copies_are_read();
    void bad_files_are_refused_before_the_rest_is_read_data();
    void bad_files_are_refused_before_the_rest_is_read();
};

void TestMeasurementCsv::layout_of_a_small_file()
{
    const QByteArray bytes = storage::write_measurement_csv(small_record());
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QList<QByteArray> lines = lines_of(bytes.mid(3));
    QCOMPARE(lines.size(), 24);
    QCOMPARE(QString::fromUtf8(lines[0]), QStringLiteral("運動の解析 計測データ,1"));
    QCOMPARE(QString::fromUtf8(lines[1]), QStringLiteral("プログラム,undou-kaiseki,1.0.0"));
    QCOMPARE(QString::fromUtf8(lines[2]), QStringLiteral("保存日時,2026-12-07 15:30:12"));
    QCOMPARE(QString::fromUtf8(lines[3]), QStringLiteral("入力,port,COM1"));
    QCOMPARE(QString::fromUtf8(lines[4]), QStringLiteral("計測周期(ms),100"));
    QCOMPARE(QString::fromUtf8(lines[5]), QStringLiteral("計測時間(s),1"));
    QCOMPARE(QString::fromUtf8(lines[6]), QStringLiteral("サンプル毎秒,10"));
    QCOMPARE(QString::fromUtf8(lines[7]), QStringLiteral("N,10"));
    QCOMPARE(lines[8], QByteArray());
    QCOMPARE(QString::fromUtf8(lines[10]), QStringLiteral("番号,時刻(s),読み値"));
    QCOMPARE(lines[11], QByteArray("0,0,20"));
    QCOMPARE(lines[15], QByteArray("4,0.4,-255"));
    QCOMPARE(lines[21], QByteArray("10,1,20"));
    QCOMPARE(QString::fromUtf8(lines[23]), QStringLiteral("終わり"));
    QVERIFY(bytes.endsWith("\r\n"));
}

void TestMeasurementCsv::records_read_back_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<float>("single");  // put into a section and the fit
    QTest::addColumn<QString>("text");  // as the file has it
    QTest::newRow("readings only") << 0 << 0.0f << QString();
    QTest::newRow("sections, boundaries and fit") << 1 << 0.1f << "0.1";
    QTest::newRow("sections without a fit") << 2 << 3.8039999f << "3.804";
    QTest::newRow("a source with a comma and quotes") << 3 << std::nextafter(1.0f, 2.0f) << "1.0000001";
    QTest::newRow("a source with line ends") << 4 << 0.5f << "0.5";
    QTest::newRow("the smallest normal float") << 1 << 1.17549435e-38f << "1.1754944e-38";
    QTest::newRow("the largest float") << 1 << -3.40282347e+38f << "-3.4028235e+38";
    QTest::newRow("written before the position fit and the strip check") << 5 << 0.25f << "0.25";
    QTest::newRow("every finding of the strip check") << 6 << 0.75f << "0.75";
    QTest::newRow("written before the strip check's later rows") << 7 << 0.125f << "0.125";
    QTest::newRow("0.021 in its shortest form") << 1 << 0.021f << "0.021";
    QTest::newRow("1.268 in its shortest form") << 2 << 1.268f << "1.268";
    QTest::newRow("written before with nine digits") << 8 << 1.268f << "1.268";
    QTest::newRow("a range of the whole recording, after N") << 9 << 0.0f << QString();
    QTest::newRow("a range in 17 digits, after the holes") << 10 << 0.375f << "0.375";
    QTest::newRow("late readings from reading 0 to N, after N") << 11 << 0.0f << QString();
    QTest::newRow("late readings before the holes and the range") << 12 << 0.625f << "0.625";
    QTest::newRow("edge stamps at reading 0 and at N") << 13 << 0.0f << QString();
    QTest::newRow("a board that stamped none, before the sections") << 14 << 0.5f << "0.5";
}

void TestMeasurementCsv::records_read_back()
{
    QFETCH(int, kind);
    QFETCH(float, single);
    QFETCH(QString, text);
    const bool readings_only = kind == 0 || kind == 9 || kind == 11 || kind == 13;
    MeasurementRecord record = readings_only ? small_record() : analysed_record();
    // From 0 s to N / rate = 1 s, both limits; and a start and an end that need 17 digits.
    if (kind == 9)
        record.range = common::TimeRange{0, 1};
    if (kind == 10 || kind == 12)
        record.range = common::TimeRange{0.1, 0.12345678901234566};
    // Readings 0 and N = 10 are the limits of a span.
    if (kind == 11)
        record.late_readings = {{0, 0}, {3, 5}, {10, 10}};
    if (kind == 12)
        record.late_readings = {{2, 4}};
    // 100 ms for 1 s: the stamps lie within 0..1000000 µs.
    if (kind == 13)
        record.edge_stamps = {{{0, true}, {1'000'000, false}}};
    if (kind == 14)
        record.edge_stamps = std::vector<common::EdgeStamp>{};
    if (kind == 2)
        record.fit.reset();
    if (kind == 5) {
        record.position_fit.reset();
        record.strip_check.reset();
    }
    if (kind == 6) {
        record.strip_check->coarse_period_sections = {3};
        record.strip_check->turn_section = 7;
        record.strip_check->torn_hole_sections = {4, 5};
    }
    if (kind == 3)
        record.source = {QStringLiteral("port"), QStringLiteral("odd,\"name\"")};
    if (kind == 4)
        record.source = {QStringLiteral("port"), QStringLiteral("COM\r\n1\n"), QStringLiteral("\r")};
    if (!readings_only)
        record.sections[0].velocity_cm_s = single;
    if (record.fit)
        record.fit->acceleration = single;
    QByteArray bytes = storage::write_measurement_csv(record);
    if (!readings_only)
        QVERIFY(bytes.contains("\r\n1,0.1,0.2," + text.toLatin1() + "\r\n"));
    const QByteArray later_rows = QStringLiteral("周期の限界の区間,\r\n折り返し,\r\n穴の欠け,\r\n").toUtf8();
    if (kind == 7)
        QVERIFY(bytes.contains(later_rows));
    // A file of an earlier version: without the strip check's later rows, or with the single in
    // nine digits, in the section and the fit.
    const QByteArray nine = QByteArray::number(static_cast<double>(single), 'g', 9);
    const auto as_before = [&](QByteArray &file) {
        if (kind == 7)
            file.replace(later_rows, QByteArray());
        if (kind == 8)
            file.replace("," + text.toLatin1() + ",", "," + nine + ",")
                .replace("," + text.toLatin1() + "\r\n", "," + nine + "\r\n");
    };
    as_before(bytes);
    if (kind == 8)
        QCOMPARE(bytes.count("," + nine + ","), 1);
    // When 計測 started follows the date of saving, where a file has it.
    QCOMPARE(
        bytes.contains("\r\n保存日時,2026-12-07 15:30:12\r\n計測日時,2026-12-07 15:29:04\r\n入力,"), !readings_only);
    // The range follows N, or the holes per section where the file has them.
    if (kind == 9)
        QVERIFY(bytes.contains(QStringLiteral("\r\nN,10\r\n範囲(s),0,1\r\n\r\n").toUtf8()));
    if (kind == 10)
        QVERIFY(
            bytes.contains(QStringLiteral("\r\n1区間の穴数,3\r\n範囲(s),0.1,0.12345678901234566\r\n\r\n").toUtf8()));
    // The late readings follow N, written only where there are some.
    if (kind == 11)
        QVERIFY(bytes.contains(QStringLiteral("\r\nN,10\r\n遅れた読み取り,0-0 3-5 10-10\r\n\r\n").toUtf8()));
    if (kind == 12)
        QVERIFY(bytes.contains(QStringLiteral("\r\nN,10\r\n遅れた読み取り,2-4\r\n1区間の穴数,3\r\n範囲(s),").toUtf8()));
    QCOMPARE(bytes.contains(QStringLiteral("遅れた読み取り").toUtf8()), kind == 11 || kind == 12);
    if (kind == 13)
        QVERIFY(bytes.contains(
            QStringLiteral("\r\n\r\n縁の時刻\r\n縁,向き,時刻(µs)\r\n0,上がり,0\r\n1,下がり,1000000\r\n\r\n終わり")
                .toUtf8()));
    if (kind == 14)
        QVERIFY(bytes.contains(QStringLiteral("\r\n\r\n縁の時刻\r\n縁,向き,時刻(µs)\r\n\r\n区間\r\n").toUtf8()));
    const storage::ReadResult read = storage::parse_measurement_csv(bytes);
    QVERIFY2(read.record, qPrintable(QStringLiteral("refused at line %1").arg(read.failure.line)));
    // Every field is written, and no two floats or doubles share a text: the same text again means
    // the same values came back. An earlier file gets the rows it lacked, empty.
    QByteArray again = storage::write_measurement_csv(*read.record);
    as_before(again);
    QCOMPARE(again, bytes);
    QCOMPARE(read.record->source, record.source);
    // Exactly the same doubles, and no range where the file has none.
    QVERIFY(read.record->range == record.range);
    QVERIFY(read.record->late_readings == record.late_readings);
    QVERIFY(read.record->edge_stamps == record.edge_stamps);
    // Exactly the same float (QCOMPARE would allow a fuzzy match).
    if (!readings_only)
        QVERIFY2(read.record->sections[0].velocity_cm_s == single,
            qPrintable(QString::number(read.record->sections[0].velocity_cm_s, 'g', 9)));
    if (record.fit)
        QVERIFY(read.record->fit->acceleration == single);
    // The blocks after the fit, under the names other programs look for.
    const bool blocks = !readings_only && kind != 5;
    const QString findings = kind == 6 ? QStringLiteral("周期の限界の区間,3\r\n折り返し,7\r\n穴の欠け,4 5\r\n")
        : kind == 7                    ? QString()
                                       : QString::fromUtf8(later_rows);
    QCOMPARE(QString::fromUtf8(bytes).contains(QStringLiteral("\r\n位置の当てはめ\r\n量,値,標準誤差\r\n初速度(cm/s),"
                                                              "12.25,0.5\r\n加速度(cm/s²),31.625,\r\nr²,0.9999\r\n"
                                                              "縁の数,4\r\n\r\nテープの点検\r\n量,値\r\n読み落とした"
                                                              "区間,1 2\r\n余分な縁の区間,\r\n追える速さ(cm/s),126.8"
                                                              "\r\n")
                 + findings + QStringLiteral("\r\n")),
        blocks);
    QCOMPARE(read.record->position_fit.has_value(), blocks);
    if (blocks) {
        QVERIFY(read.record->strip_check->missed_hole_sections == (std::vector<std::int32_t>{1, 2}));
        QCOMPARE(read.record->strip_check->turn_section, record.strip_check->turn_section);
        QVERIFY(read.record->strip_check->torn_hole_sections == record.strip_check->torn_hole_sections);
    }
}

void TestMeasurementCsv::refused_files_data()
{
    // Lines of the small file: 1 title, 2 program, 3 saved, 4 source, 5 period, 6 time, 7 rate,
    // 8 N, 9 empty, 10 サンプル, 11 column names, 12..22 readings 0..10, 23 empty, 24 終わり.
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<ReadProblem>("problem");
    QTest::addColumn<int>("line");
    const QByteArray whole = storage::write_measurement_csv(small_record());
    const QByteArray null;

    QTest::newRow("empty file") << QByteArray() << ReadProblem::NotOurs << 1;
    QTest::newRow("another program's CSV") << QByteArray("time,value\r\n0,1\r\n") << ReadProblem::NotOurs << 1;
    QTest::newRow("a later layout") << with_line(1, "\xEF\xBB\xBF運動の解析 計測データ,2") << ReadProblem::NotOurs << 1;
    QTest::newRow("cut inside a reading") << whole.left(whole.indexOf("3,0.3,19") + 4) << ReadProblem::Truncated << 15;
    QTest::newRow("cut at the end of a line") << whole.left(whole.indexOf("3,0.3,19")) << ReadProblem::Truncated << 14;
    QTest::newRow("end mark missing") << with_line(24, null) << ReadProblem::Truncated << 23;
    QTest::newRow("letters for a reading") << with_line(14, "2,0.2,abc") << ReadProblem::BrokenLine << 14;
    QTest::newRow("a reading with a fraction") << with_line(14, "2,0.2,20.5") << ReadProblem::BrokenLine << 14;
    QTest::newRow("readings out of order") << with_line(14, "3,0.2,231") << ReadProblem::BrokenLine << 14;
    QTest::newRow("a field too many") << with_line(14, "2,0.2,231,1") << ReadProblem::BrokenLine << 14;
    QTest::newRow("a quote left open") << with_line(14, "\"2,0.2,231") << ReadProblem::BrokenLine << 14;
    QTest::newRow("not UTF-8") << with_line(14, "2,0.2,\xff") << ReadProblem::BrokenLine << 14;
    QTest::newRow("a header row missing") << with_line(7, null) << ReadProblem::BrokenLine << 7;
    QTest::newRow("a date that is none") << with_line(3, "保存日時,yesterday") << ReadProblem::BrokenLine << 3;
    QTest::newRow("a rate of zero") << with_line(7, "サンプル毎秒,0") << ReadProblem::BrokenLine << 7;
    QTest::newRow("reading 256") << with_line(14, "2,0.2,256") << ReadProblem::SampleOutOfRange << 14;
    // The stamps follow the readings at line 24: the title, the column names, then edges 0 and 1.
    MeasurementRecord stamped = small_record();
    stamped.edge_stamps = {{{500, true}, {900, false}}};
    const QByteArray stamps = storage::write_measurement_csv(stamped);
    const auto stamp = [&stamps](const char *edge_1) { return QByteArray(stamps).replace("1,下がり,900", edge_1); };
    QTest::newRow("a stamp just after reading N") << stamp("1,下がり,1000001") << ReadProblem::BrokenLine << 27;
    QTest::newRow("a stamp before its edge") << stamp("1,下がり,499") << ReadProblem::BrokenLine << 27;
    QTest::newRow("two rises in a row") << stamp("1,上がり,900") << ReadProblem::BrokenLine << 27;
    QTest::newRow("a kind of neither") << stamp("1,横,900") << ReadProblem::BrokenLine << 27;
    QTest::newRow("a stamp before reading 0")
        << QByteArray(stamps).replace("0,上がり,500", "0,上がり,-1") << ReadProblem::BrokenLine << 26;
    QTest::newRow("reading -256") << with_line(14, "2,0.2,-256") << ReadProblem::SampleOutOfRange << 14;
    QTest::newRow("period 0 ms") << with_line(5, "計測周期(ms),0") << ReadProblem::PeriodOutOfRange << 5;
    QTest::newRow("period 1001 ms") << with_line(5, "計測周期(ms),1001") << ReadProblem::PeriodOutOfRange << 5;
    QTest::newRow("time 0 s") << with_line(6, "計測時間(s),0") << ReadProblem::TimeOutOfRange << 6;
    QTest::newRow("time 11 s") << with_line(6, "計測時間(s),11") << ReadProblem::TimeOutOfRange << 6;
    QTest::newRow("time 1.5 s") << with_line(6, "計測時間(s),1.5") << ReadProblem::TimeOutOfRange << 6;
    QTest::newRow("N 0") << with_line(8, "N,0") << ReadProblem::CountOutOfRange << 8;
    QTest::newRow("N 10001") << with_line(8, "N,10001") << ReadProblem::CountOutOfRange << 8;
    QTest::newRow("one reading short") << with_line(22, null) << ReadProblem::SampleCountMismatch << 22;
    QTest::newRow("N larger than the readings") << with_line(8, "N,11") << ReadProblem::SampleCountMismatch << 23;
    QTest::newRow("one reading too many")
        << with_line(22, "10,1,20\r\n11,1.1,20") << ReadProblem::SampleCountMismatch << 23;
    QByteArray cr_only = whole;
    cr_only.replace("\r\n", "\r");
    QTest::newRow("CR line ends, cut") << cr_only.left(cr_only.indexOf("3,0.3,19") + 4) << ReadProblem::Truncated << 15;
    QTest::newRow("a day that is none") << with_line(3, "保存日時,2026/2/30 12:00") << ReadProblem::BrokenLine << 3;
    QTest::newRow("a line after the end mark") << with_line(24, "終わり\r\n,,\r\nx") << ReadProblem::BrokenLine << 26;
    QTest::newRow("a reading far out on its line")
        << with_line(14, "2,0.2" + QByteArray(100, ',') + "231") << ReadProblem::BrokenLine << 14;
    // A chosen range as line 9, after N; the recording spans 0..1 s.
    const auto with_range = [](const char *values) { return with_line(8, QByteArray("N,10\r\n範囲(s),") + values); };
    QTest::newRow("a range starting just before 0 s") << with_range("-1e-9,0.5") << ReadProblem::RangeOutOfRange << 9;
    QTest::newRow("a range ending just after N / rate")
        << with_range("0,1.0000000000000002") << ReadProblem::RangeOutOfRange << 9;
    QTest::newRow("a range ending at its start") << with_range("0.5,0.5") << ReadProblem::RangeOutOfRange << 9;
    QTest::newRow("a range ending before its start") << with_range("0.5,0.4") << ReadProblem::RangeOutOfRange << 9;
    QTest::newRow("a range end that is no number") << with_range("0.1,abc") << ReadProblem::BrokenLine << 9;
    QTest::newRow("a range end past any double") << with_range("0.1,1e999") << ReadProblem::BrokenLine << 9;
    QTest::newRow("a range without its end") << with_range("0.1") << ReadProblem::BrokenLine << 9;
    QTest::newRow("a range with a third value") << with_range("0.1,0.2,0.3") << ReadProblem::BrokenLine << 9;
    // Late readings as line 9, after N = 10: a span ending on N reads back.
    const auto with_late = [](const char *text) { return with_line(8, QByteArray("N,10\r\n遅れた読み取り") + text); };
    QTest::newRow("late readings to N + 1") << with_late(",10-11") << ReadProblem::BrokenLine << 9;
    QTest::newRow("a late reading N + 1") << with_late(",3-4 11-11") << ReadProblem::BrokenLine << 9;
    QTest::newRow("a negative late reading") << with_late(",-1-2") << ReadProblem::BrokenLine << 9;
    QTest::newRow("a late span backwards") << with_late(",5-4") << ReadProblem::BrokenLine << 9;
    QTest::newRow("late spans out of order") << with_late(",5-6 1-2") << ReadProblem::BrokenLine << 9;
    QTest::newRow("late spans sharing a reading") << with_late(",1-5 5-6") << ReadProblem::BrokenLine << 9;
    QTest::newRow("a late reading without its span") << with_late(",5") << ReadProblem::BrokenLine << 9;
    QTest::newRow("late spans two blanks apart") << with_late(",1-2  4-5") << ReadProblem::BrokenLine << 9;
    QTest::newRow("late spans in two fields") << with_late(",1-2,4-5") << ReadProblem::BrokenLine << 9;
    QTest::newRow("late readings without a span") << with_late("") << ReadProblem::BrokenLine << 9;
}

void TestMeasurementCsv::refused_files()
{
    QFETCH(QByteArray, bytes);
    QFETCH(ReadProblem, problem);
    QFETCH(int, line);
    const storage::ReadResult read = storage::parse_measurement_csv(bytes);
    QVERIFY(!read.record);
    QCOMPARE(static_cast<int>(read.failure.problem), static_cast<int>(problem));
    QCOMPARE(read.failure.line, line);
}

void TestMeasurementCsv::spreadsheet_copies_are_read_data()
{
    // What a spreadsheet may change when it saves the file again; the values stay as they were.
    QTest::addColumn<bool>("cp932");  // else UTF-8
    QTest::addColumn<QByteArray>("line_end");
    QTest::addColumn<QByteArray>("padding");
    QTest::addColumn<bool>("spreadsheet_dates");
    QTest::addColumn<bool>("lines_after_the_end");
    QTest::newRow("rows padded, no byte-order mark")
        << false << QByteArray("\r\n") << QByteArray(",,,") << false << false;
    QTest::newRow("code page 932") << true << QByteArray("\r\n") << QByteArray() << false << false;
    QTest::newRow("LF line ends") << false << QByteArray("\n") << QByteArray() << false << false;
    QTest::newRow("CR line ends") << false << QByteArray("\r") << QByteArray() << false << false;
    QTest::newRow("empty lines after the end") << false << QByteArray("\r\n") << QByteArray() << false << true;
    QTest::newRow("dates as a spreadsheet writes them") << false << QByteArray("\r\n") << QByteArray() << true << false;
    QTest::newRow("all of them") << true << QByteArray("\r") << QByteArray(",,,,") << true << true;
}

void TestMeasurementCsv::spreadsheet_copies_are_read()
{
    QFETCH(bool, cp932);
    QFETCH(QByteArray, line_end);
    QFETCH(QByteArray, padding);
    QFETCH(bool, spreadsheet_dates);
    QFETCH(bool, lines_after_the_end);
    const MeasurementRecord record = analysed_record();
    QStringList lines = QString::fromUtf8(storage::write_measurement_csv(record).mid(3)).split(QStringLiteral("\r\n"));
    lines.removeLast();  // after the last line's end
    if (spreadsheet_dates) {
        lines.replaceInStrings(QStringLiteral("2026-12-07 15:30:12"), QStringLiteral("2026/12/7 15:30"));
        lines.replaceInStrings(QStringLiteral("2026-12-07 15:29:04"), QStringLiteral("2026/12/07 15:29:04"));
    }
    if (lines_after_the_end)
        lines << QString() << QStringLiteral(",,,") << QString();
    QByteArray bytes = cp932 || !padding.isEmpty() ? QByteArray() : QByteArray("\xEF\xBB\xBF");
    for (const QString &line : lines)
        bytes += (cp932 ? test_support::in_cp932(line) : line.toUtf8()) + padding + line_end;
    QCOMPARE(bytes.contains("cm/s?"), cp932);

    const storage::ReadResult read = storage::parse_measurement_csv(bytes);
    QVERIFY2(read.record, qPrintable(QStringLiteral("refused at line %1").arg(read.failure.line)));
    QVERIFY(read.record->samples == record.samples);
    QCOMPARE(read.record->source, record.source);
    QCOMPARE(read.record->saved_at.time().second(), spreadsheet_dates ? 0 : 12);
    QCOMPARE(read.record->measured_at, record.measured_at);
    QVERIFY(read.record->fit && read.record->fit->acceleration == record.fit->acceleration);
    QCOMPARE(read.record->fit->statistics.r_squared, record.fit->statistics.r_squared);
    QVERIFY(read.record->position_fit && read.record->position_fit->r_squared == record.position_fit->r_squared);
}

void TestMeasurementCsv::bad_files_are_refused_before_the_rest_is_read_data()
{
    // 4 MiB, the most that is read: the reader stops at the first line that is wrong.
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<ReadProblem>("problem");
    QTest::addColumn<int>("line");
    QTest::addColumn<bool>("read_to_the_end");  // a quote left open takes in the rest
    const QByteArray whole = storage::write_measurement_csv(small_record());
    const QByteArray title = whole.left(whole.indexOf("\r\n") + 2);
    const qsizetype rest = storage::kMaxFileBytes - title.size() - 1;
    QTest::newRow("empty lines") << QByteArray(storage::kMaxFileBytes, '\n') << ReadProblem::NotOurs << 1 << false;
    QTest::newRow("a title, then empty lines")
        << title + QByteArray(rest, '\n') << ReadProblem::BrokenLine << 2 << false;
    QTest::newRow("a title, then a quote left open")
        << title + '"' + QByteArray(rest, ',') << ReadProblem::BrokenLine << 2 << true;
    QTest::newRow("past the largest file")
        << whole + QByteArray(storage::kMaxFileBytes, '\n') << ReadProblem::TooLarge << 0 << true;
}

void TestMeasurementCsv::bad_files_are_refused_before_the_rest_is_read()
{
    QFETCH(QByteArray, bytes);
    QFETCH(ReadProblem, problem);
    QFETCH(int, line);
    QFETCH(bool, read_to_the_end);
    QBuffer device(&bytes);
    QVERIFY(device.open(QIODevice::ReadOnly));
    const storage::ReadResult read = storage::read_measurement_csv(device);
    QVERIFY(!read.record);
    QCOMPARE(static_cast<int>(read.failure.problem), static_cast<int>(problem));
    QCOMPARE(read.failure.line, line);
    // The reader takes the data in pieces of 64 KiB, and never more than one byte past the bound.
    QVERIFY2(read_to_the_end ? device.pos() >= storage::kMaxFileBytes : device.pos() <= 64 * 1024,
        qPrintable(QString::number(device.pos())));
    QVERIFY(device.pos() <= storage::kMaxFileBytes + 1);
}

QTEST_GUILESS_MAIN(TestMeasurementCsv)
#include "tst_measurement_csv.moc"
