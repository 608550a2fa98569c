// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The board's reading of a command line: each number taken at its limits and refused just past
// them, and every garbled line ignored, so that it can neither start a run nor write the EEPROM.
// Its stamping of an edge: the tick a capture belongs to when it comes about a tick's start, and
// when an edge may go out among the readings.

#include "commands.h"
#include "edges.h"

#include <QTest>

class TestBoardCommands : public QObject {
    Q_OBJECT

private slots:
    void parses_line_data();
    void parses_line();
    void stamps_edge_data();
    void stamps_edge();
    void orders_edge_data();
    void orders_edge();
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

void TestBoardCommands::stamps_edge_data()
{
    QTest::addColumn<int>("ticks_counted");
    QTest::addColumn<int>("captured");
    QTest::addColumn<int>("now");
    QTest::addColumn<bool>("match_waiting");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("tick");
    QTest::addColumn<int>("count");

    QTest::newRow("mid-tick") << 7 << 120 << 123 << false << 249 << 7 << 120;
    QTest::newRow("first count, the tick counted") << 7 << 0 << 3 << false << 249 << 7 << 0;
    // The match comes at the top; the next tick starts a count later.
    QTest::newRow("top, match waiting, next tick not started") << 7 << 249 << 249 << true << 249 << 7 << 249;
    QTest::newRow("top, match waiting, next tick started") << 7 << 249 << 0 << true << 249 << 7 << 249;
    QTest::newRow("first count, match waiting") << 7 << 0 << 1 << true << 249 << 8 << 0;
    QTest::newRow("top of a long tick, match waiting") << 7 << 250 << 250 << true << 250 << 7 << 250;
    QTest::newRow("top of a short tick, match waiting") << 7 << 248 << 248 << true << 248 << 7 << 248;
    // Half the tick tells a count just past the start from one near the top.
    QTest::newRow("match waiting, count now 124 of 250: started") << 7 << 124 << 124 << true << 249 << 8 << 124;
    QTest::newRow("match waiting, count now 125 of 250: not") << 7 << 125 << 125 << true << 249 << 7 << 125;
    // Taken at the top while the tick's handler waited for the next tick to start.
    QTest::newRow("top, taken during the tick's handler") << 8 << 249 << 2 << false << 249 << 7 << 249;
    QTest::newRow("captured at the count now") << 8 << 2 << 2 << false << 249 << 8 << 2;
    QTest::newRow("captured a count above the count now") << 8 << 3 << 2 << false << 249 << 7 << 3;
    QTest::newRow("tick 65535 to 0") << 65535 << 0 << 1 << true << 249 << 0 << 0;
    QTest::newRow("tick 0 from 1") << 1 << 249 << 1 << false << 249 << 0 << 249;
    // A tick of 263 counts, at a correction of +5 %.
    QTest::newRow("count 255") << 7 << 255 << 255 << false << 262 << 7 << 255;
    QTest::newRow("count 256 held at 255") << 7 << 256 << 256 << false << 262 << 7 << 255;
}

void TestBoardCommands::stamps_edge()
{
    QFETCH(int, ticks_counted);
    QFETCH(int, captured);
    QFETCH(int, now);
    QFETCH(bool, match_waiting);
    QFETCH(int, top);
    QFETCH(int, tick);
    QFETCH(int, count);

    const EdgeStamp stamp
        = edge_stamp(uint16_t(ticks_counted), uint16_t(captured), uint16_t(now), uint8_t(match_waiting), uint16_t(top));
    QCOMPARE(int(stamp.tick), tick);
    QCOMPARE(int(stamp.count), count);
}

void TestBoardCommands::orders_edge_data()
{
    QTest::addColumn<int>("edge_tick");
    QTest::addColumn<int>("tick");
    QTest::addColumn<bool>("converting");
    QTest::addColumn<int>("reading_tick");
    QTest::addColumn<bool>("may_go");

    QTest::newRow("the tick before, no conversion") << 5 << 6 << false << 5 << true;
    QTest::newRow("the tick under way, no conversion") << 6 << 6 << false << 6 << true;
    QTest::newRow("a tick not begun") << 7 << 6 << false << 6 << false;
    QTest::newRow("before the reading converted") << 5 << 6 << true << 6 << true;
    QTest::newRow("the converted reading's tick") << 6 << 6 << true << 6 << false;
    QTest::newRow("after a reading still converted") << 7 << 7 << true << 6 << false;
    QTest::newRow("tick 65535 before the reading of 0") << 65535 << 0 << true << 0 << true;
    QTest::newRow("tick 0 after the reading of 65535") << 0 << 0 << true << 65535 << false;
}

void TestBoardCommands::orders_edge()
{
    QFETCH(int, edge_tick);
    QFETCH(int, tick);
    QFETCH(bool, converting);
    QFETCH(int, reading_tick);
    QFETCH(bool, may_go);

    QCOMPARE(
        bool(edge_may_go(uint16_t(edge_tick), uint16_t(tick), uint8_t(converting), uint16_t(reading_tick))), may_go);
}

QTEST_GUILESS_MAIN(TestBoardCommands)
#include "tst_board_commands.moc"
