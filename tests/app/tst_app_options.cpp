// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The command line: the port, the simulated cart and its motion, and what is refused.

#include "app_options.h"
#include "messages.h"
#include "report.h"
#include "storage/file_io.h"
#include "storage/measurement_csv.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestAppOptions : public QObject {
    Q_OBJECT

private slots:
    void defaults();
    void port_and_simulation();
    void board_data();
    void board();
    void qt_options_are_ignored_data();
    void qt_options_are_ignored();
    void refused_data();
    void refused();
    void help_and_version_data();
    void help_and_version();
    void report_of_a_file_data();
    void report_of_a_file();
};

void TestAppOptions::defaults()
{
    int exit_code = -1;
    const std::optional<AppOptions> options = parse_app_options({"undou-kaiseki"}, exit_code);
    QVERIFY(options);
    QCOMPARE(exit_code, 0);
    QCOMPARE(options->port_name, std::string("COM1"));
    QVERIFY(!options->simulate);
    QCOMPARE(options->cart.v0_cm_s, 20.0);
    QCOMPARE(options->cart.accel_cm_s2, 60.0);
    QCOMPARE(options->cart.release_delay_s, 0.05);
    QCOMPARE(options->cart.hole_width_cm, 0.5);
    QVERIFY(!options->cart.end_stop_cm);
}

void TestAppOptions::port_and_simulation()
{
    int exit_code = -1;
    const std::optional<AppOptions> options
        = parse_app_options({"undou-kaiseki", "--port", "/dev/ttyUSB0", "--simulate", "--sim-v0", "0", "--sim-accel",
                                "-35.5", "--sim-delay=0.2"},
            exit_code);
    QVERIFY(options);
    QCOMPARE(options->port_name, std::string("/dev/ttyUSB0"));
    QVERIFY(options->simulate);
    QCOMPARE(options->cart.v0_cm_s, 0.0);
    QCOMPARE(options->cart.accel_cm_s2, -35.5);
    QCOMPARE(options->cart.release_delay_s, 0.2);

    const std::optional<AppOptions> strip
        = parse_app_options({"undou-kaiseki", "--simulate", "--sim-hole-mm", "3", "--sim-end-stop=42.5"}, exit_code);
    QVERIFY(strip);
    QCOMPARE(strip->cart.hole_width_cm, 0.3);
    QCOMPARE(strip->cart.end_stop_cm, std::optional<double>(42.5));

    // With 3 mm holes a hole may stand 4.84 mm off its place before it touches the next.
    const std::optional<AppOptions> lab
        = parse_app_options({"undou-kaiseki", "--simulate", "--sim-hole-mm", "3", "--sim-flicker", "0.1",
                                "--sim-torn-hole=0", "--sim-hole-jitter-mm", "4.84", "--sim-turn-after", "0.8"},
            exit_code);
    QVERIFY(lab);
    QCOMPARE(lab->cart.flicker_share, 0.1);
    QCOMPARE(lab->cart.torn_hole, std::optional<int>(0));
    QCOMPARE(lab->cart.hole_jitter_cm, 0.484);
    QCOMPARE(lab->cart.turn_after_s, std::optional<double>(0.8));
    const std::optional<AppOptions> report
        = parse_app_options({"undou-kaiseki", "--report", "run.csv", "--holes", "32767"}, exit_code);
    QVERIFY(report && asks_for_report({"undou-kaiseki", "-style", "fusion", "--report=run.csv"}));
    QCOMPARE(report->report_file, QStringLiteral("run.csv"));
    QCOMPARE(report->report_holes, std::optional<std::int32_t>(32767));
    QVERIFY(!asks_for_report({"undou-kaiseki", "--", "--report", "run.csv"}));

    const std::optional<AppOptions> faulty
        = parse_app_options({"undou-kaiseki", "--simulate", "--settle-us", "750", "--sim-line-us=400",
                                "--sim-no-converter", "--sim-unplug-after", "0.5", "run.csv"},
            exit_code);
    QVERIFY(faulty);
    QCOMPARE(faulty->settle_us, 750);
    QCOMPARE(faulty->faults.line_cost_us, 400);
    QVERIFY(faulty->faults.no_converter);
    QCOMPARE(faulty->faults.unplug_after_s, 0.5);
    QCOMPARE(faulty->open_file, QStringLiteral("run.csv"));
}

void TestAppOptions::board_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("board");  // "": the first port on which a board answers
    QTest::addColumn<QString>("file");
    QTest::newRow("a port") << QStringList{"undou-kaiseki", "--board", "/dev/ttyACM0"} << "/dev/ttyACM0"
                            << "";
    QTest::newRow("a port after =") << QStringList{"undou-kaiseki", "--board=COM3"} << "COM3"
                                    << "";
    QTest::newRow("alone, last") << QStringList{"undou-kaiseki", "--board"} << ""
                                 << "";
    QTest::newRow("alone, a Qt option after") << QStringList{"undou-kaiseki", "--board", "-style", "fusion"} << ""
                                              << "";
    QTest::newRow("alone, a file after") << QStringList{"undou-kaiseki", "--board", "run.csv"} << ""
                                         << "run.csv";
}

void TestAppOptions::board()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, board);
    QFETCH(QString, file);
    int exit_code = -1;
    const std::optional<AppOptions> options = parse_app_options(arguments, exit_code);
    QVERIFY(options);
    QCOMPARE(options->board, std::optional<std::string>(board.toStdString()));
    QCOMPARE(options->open_file, file);
    QVERIFY(!options->simulate);
}

void TestAppOptions::qt_options_are_ignored_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("port_name");
    QTest::newRow("-style before --port")
        << QStringList{"undou-kaiseki", "-style", "fusion", "--port", "COM3"} << "COM3";
    QTest::newRow("X11 options around --port")
        << QStringList{"undou-kaiseki", "-fn", "IPAGothic", "--port", "/dev/ttyUSB0", "-bg", "white", "-sync"}
        << "/dev/ttyUSB0";
    QTest::newRow("a value-taking Qt option last")
        << QStringList{"undou-kaiseki", "--port", "COM2", "-platform"} << "COM2";
}

void TestAppOptions::qt_options_are_ignored()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, port_name);
    int exit_code = -1;
    const std::optional<AppOptions> options = parse_app_options(arguments, exit_code);
    QVERIFY(options);
    QCOMPARE(exit_code, 0);
    QCOMPARE(QString::fromStdString(options->port_name), port_name);
}

void TestAppOptions::refused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("a word for a number") << QStringList{"undou-kaiseki", "--sim-v0", "fast"};
    QTest::newRow("not a finite number") << QStringList{"undou-kaiseki", "--sim-accel", "inf"};
    QTest::newRow("an unknown option") << QStringList{"undou-kaiseki", "--speed", "3"};
    QTest::newRow("a stray argument after the file") << QStringList{"undou-kaiseki", "run.csv", "COM2"};
    QTest::newRow("a negative settle time") << QStringList{"undou-kaiseki", "--settle-us", "-1"};
    QTest::newRow("a fractional settle time") << QStringList{"undou-kaiseki", "--settle-us", "2.5"};
    QTest::newRow("a line cost beyond 0.1 s") << QStringList{"undou-kaiseki", "--sim-line-us", "100001"};
    QTest::newRow("an unplug time that is a word") << QStringList{"undou-kaiseki", "--sim-unplug-after", "soon"};
    QTest::newRow("a port without its name") << QStringList{"undou-kaiseki", "--port"};
    QTest::newRow("a board and the simulation") << QStringList{"undou-kaiseki", "--board", "--simulate"};
    QTest::newRow("a board and a converter's port") << QStringList{"undou-kaiseki", "--port", "COM1", "--board=COM3"};
    QTest::newRow("an unknown single-dash option") << QStringList{"undou-kaiseki", "-styles", "fusion"};
    QTest::newRow("a hole of no width") << QStringList{"undou-kaiseki", "--sim-hole-mm", "0"};
    QTest::newRow("a hole as wide as the pitch") << QStringList{"undou-kaiseki", "--sim-hole-mm", "12.68"};
    QTest::newRow("a hole width that is a word") << QStringList{"undou-kaiseki", "--sim-hole-mm", "wide"};
    QTest::newRow("an end stop at the start") << QStringList{"undou-kaiseki", "--sim-end-stop", "0"};
    QTest::newRow("an end stop behind the start") << QStringList{"undou-kaiseki", "--sim-end-stop", "-5"};
    QTest::newRow("a flicker share above 1") << QStringList{"undou-kaiseki", "--sim-flicker", "1.01"};
    QTest::newRow("a torn hole past the last") << QStringList{"undou-kaiseki", "--sim-torn-hole", "47"};
    QTest::newRow("a torn hole before the first") << QStringList{"undou-kaiseki", "--sim-torn-hole", "-1"};
    // 5 mm holes leave 7.68 mm of bar: a hole may stand 3.84 mm off its place, no more.
    QTest::newRow("holes off by more than half a bar") << QStringList{"undou-kaiseki", "--sim-hole-jitter-mm", "3.85"};
    QTest::newRow("a turn at the release") << QStringList{"undou-kaiseki", "--sim-turn-after", "0"};
    QTest::newRow("no holes per section for a report")
        << QStringList{"undou-kaiseki", "--report", "run.csv", "--holes", "0"};
    QTest::newRow("more holes per section than ever") << QStringList{"undou-kaiseki", "--holes", "32768"};
}

void TestAppOptions::refused()
{
    QFETCH(QStringList, arguments);
    int exit_code = -1;
    QVERIFY(!parse_app_options(arguments, exit_code));
    QCOMPARE(exit_code, 2);
}

void TestAppOptions::help_and_version_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("asks");
    QTest::newRow("--help") << QStringList{"undou-kaiseki", "--simulate", "--help"} << true;
    QTest::newRow("--version") << QStringList{"undou-kaiseki", "--version"} << true;
    QTest::newRow("-h") << QStringList{"undou-kaiseki", "-h"} << true;
    QTest::newRow("a plain start") << QStringList{"undou-kaiseki", "--simulate"} << false;
    QTest::newRow("after --") << QStringList{"undou-kaiseki", "--", "--help"} << false;
    QTest::newRow("-style fusion --version") << QStringList{"undou-kaiseki", "-style", "fusion", "--version"} << true;
    QTest::newRow("-style fusion --help") << QStringList{"undou-kaiseki", "-style", "fusion", "--help"} << true;
    QTest::newRow("--style=fusion -platform offscreen -reverse --help")
        << QStringList{"undou-kaiseki", "--style=fusion", "-platform", "offscreen", "-reverse", "--help"} << true;
    QTest::newRow("-geometry and -display, then -v")
        << QStringList{"undou-kaiseki", "-geometry", "800x600+0+0", "-display", ":1", "-v"} << true;
    QTest::newRow("--help as the window title") << QStringList{"undou-kaiseki", "-qwindowtitle", "--help"} << false;
    QTest::newRow("-stylesheet=a.qss and -nograb only")
        << QStringList{"undou-kaiseki", "-stylesheet=a.qss", "-nograb", "--simulate"} << false;
}

void TestAppOptions::help_and_version()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, asks);
    QCOMPARE(asks_for_help_or_version(arguments), asks);
    if (asks) {
        int exit_code = -1;
        QVERIFY(!parse_app_options(arguments, exit_code));
        QCOMPARE(exit_code, 0);
    }
}

void TestAppOptions::report_of_a_file_data()
{
    QTest::addColumn<int>("file_holes");   // 0: the file has no graph
    QTest::addColumn<int>("given_holes");  // 0: none given
    QTest::addColumn<int>("sections");     // -1: the file is refused
    QTest::addColumn<bool>("bounce");      // one light reading just after the third fall

    // Holes 20 readings apart at 1 ms, falling at readings 28 to 988 (the last one still light at N
    // is no pulse): 49 edges, 48 sections of one hole.
    QTest::newRow("the window's one hole a section") << 0 << 0 << 48 << false;
    QTest::newRow("the file's holes per section") << 3 << 0 << 16 << false;
    QTest::newRow("holes given over the file's") << 3 << 2 << 24 << false;
    QTest::newRow("a file that is refused") << 1 << 0 << -1 << false;
    // Section 3 lasts 2 ms, far above the graph: the line ends at point 2, and the position fit
    // goes on over the graph's time axis.
    QTest::newRow("a bounce throws a point off the graph") << 0 << 0 << 49 << true;
}

void TestAppOptions::report_of_a_file()
{
    QFETCH(int, file_holes);
    QFETCH(int, given_holes);
    QFETCH(int, sections);
    QFETCH(bool, bounce);

    storage::MeasurementRecord record;
    record.program_name = QStringLiteral("undou-kaiseki");
    record.program_version = QStringLiteral("1.0.0");
    record.saved_at = QDateTime(QDate(2026, 12, 9), QTime(9, 0));
    record.source = {QStringLiteral("simulated")};
    record.period_ms = 1;
    record.meas_time_s = 1;
    record.sample_rate = 1000;
    record.last_sample = 1000;
    for (int i = 0; i <= 1000; ++i)
        record.samples.push_back(i >= 20 && i < 1020 && (i - 20) % 20 < 8 ? 230 : 20);
    if (bounce)
        record.samples[69] = 230;
    if (file_holes > 0)
        record.holes_per_section = file_holes;
    QByteArray bytes = storage::write_measurement_csv(record);
    if (sections < 0)
        bytes.replace("N,1000", "N,1001");
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("run.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();

    const std::optional<std::int32_t> holes = given_holes > 0 ? std::optional<std::int32_t>(given_holes) : std::nullopt;
    const Report report = report_of_file(path, holes, QDateTime(QDate(2026, 12, 9), QTime(10, 0)));
    if (sections < 0) {
        QVERIFY(report.file.isEmpty());
        QCOMPARE(report.refusal, messages::file_cannot_report(path, storage::parse_measurement_csv(bytes).failure));
        return;
    }
    // What データを保存 writes after グラフ and 最小２乗法: the sections, the line, the position fit and
    // the strip check, which found nothing on an even strip.
    const storage::ReadResult read = storage::parse_measurement_csv(report.file);
    QVERIFY(read.record && report.refusal.isEmpty());
    QCOMPARE(read.record->holes_per_section,
        std::optional<std::int32_t>(given_holes ? given_holes : std::max(1, file_holes)));
    QCOMPARE(static_cast<int>(read.record->sections.size()), sections);
    QVERIFY(read.record->fit && read.record->position_fit && read.record->strip_check);
    QCOMPARE(read.record->strip_check->extra_edge_sections.empty(), !bounce);
    QVERIFY(!read.record->strip_check->turn_section);
    if (bounce)
        QCOMPARE(read.record->fit->statistics.points, 2);
    QVERIFY(read.record->position_fit->edges > 40);
    QCOMPARE(read.record->samples, record.samples);
}

QTEST_GUILESS_MAIN(TestAppOptions)
#include "tst_app_options.moc"
