// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The command line: the port, the simulated cart and its motion, and what is refused.

#include "app_options.h"

#include <QTest>

class TestAppOptions : public QObject {
    Q_OBJECT

private slots:
    void defaults();
    void port_and_simulation();
    void qt_options_are_ignored_data();
    void qt_options_are_ignored();
    void refused_data();
    void refused();
    void help_and_version_data();
    void help_and_version();
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

QTEST_GUILESS_MAIN(TestAppOptions)
#include "tst_app_options.moc"
