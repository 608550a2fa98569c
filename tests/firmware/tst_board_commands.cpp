// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The board's reading of a command line: each number taken at its limits and refused just past
// them, and every garbled line ignored, so that it can neither start a run nor write the EEPROM.

#include "commands.h"

#include <QTest>

class TestBoardCommands : public QObject {
    Q_OBJECT

private slots:
    void parses_line_data();
    void parses_line();
};

void TestBoardCommands::parses_line_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("period_ms");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("ppm");

    QTest::newRow("greeting") << QByteArray("H") << int(COMMAND_HELLO) << 0 << 0 << 0;
    QTest::newRow("stop") << QByteArray("X") << int(COMMAND_STOP) << 0 << 0 << 0;
    QTest::newRow("10 s at 1 ms") << QByteArray("S 1 10001") << int(COMMAND_START) << 1 << 10001 << 0;
    QTest::newRow("period 1000") << QByteArray("S 1000 0") << int(COMMAND_START) << 1000 << 0 << 0;
    QTest::newRow("count 65535") << QByteArray("S 20 65535") << int(COMMAND_START) << 20 << 65535 << 0;
    QTest::newRow("ppm 50000") << QByteArray("C 50000") << int(COMMAND_CORRECTION) << 0 << 0 << 50000;
    QTest::newRow("ppm -50000") << QByteArray("C -50000") << int(COMMAND_CORRECTION) << 0 << 0 << -50000;
    QTest::newRow("zeros first") << QByteArray("S 0005 007") << int(COMMAND_START) << 5 << 7 << 0;

    const auto ignored = [](const char *name, const char *line) {
        QTest::newRow(name) << QByteArray(line) << int(COMMAND_IGNORED) << 0 << 0 << 0;
    };
    ignored("period 0", "S 0 5");
    ignored("period 1001", "S 1001 0");
    ignored("count 65536", "S 1 65536");
    ignored("ppm 50001", "C 50001");
    ignored("ppm -50001", "C -50001");
    ignored("letters", "C abc");
    ignored("no number", "C ");
    ignored("letters after digits", "C 12abc");
    ignored("no count", "S 1");
    ignored("letter in period", "S 1x 5");
    ignored("double space", "S 1  5");
    ignored("negative period", "S -1 5");
    ignored("trailing space", "S 1 5 ");
    ignored("long digits", "S 1 99999999999999999999999999");
    ignored("long zeros past the limit", "C 00000000000000000000000000000050001");
    ignored("greeting with a word", "H x");
    ignored("stop with a number", "X 1");
    ignored("empty", "");
}

void TestBoardCommands::parses_line()
{
    QFETCH(QByteArray, line);
    QFETCH(int, kind);
    QFETCH(int, period_ms);
    QFETCH(int, count);
    QFETCH(int, ppm);

    const Command command = parse_command(line.constData());
    QCOMPARE(int(command.kind), kind);
    QCOMPARE(int(command.period_ms), period_ms);
    QCOMPARE(int(command.count), count);
    QCOMPARE(int(command.ppm), ppm);
}

QTEST_GUILESS_MAIN(TestBoardCommands)
#include "tst_board_commands.moc"
