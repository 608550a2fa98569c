// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A board's edge frames as the recording's stamps: their ticks and counts turned into microseconds
// after reading 0, in order, rises and falls in turn.

#include "acquisition/edge_stamps.h"

#include <QTest>

class TestEdgeStamps : public QObject {
    Q_OBJECT

private slots:
    void stamps_data();
    void stamps();
};

void TestEdgeStamps::stamps_data()
{
    // Frames as +tick.count (a rise) or -tick.count (a fall); the kept stamps as +µs or -µs.
    QTest::addColumn<QString>("frames");
    QTest::addColumn<qint64>("last_us");  // the run's last reading
    QTest::addColumn<QString>("kept");
    QTest::addColumn<int>("refused");
    QTest::addColumn<double>("correction_ppm");  // the board's clock correction

    QTest::newRow("one hole") << "+1.0 -1.125" << qint64(10'000) << "+0 -500" << 0 << 0.0;
    QTest::newRow("the last count of a tick") << "+3.255 -4.0" << qint64(10'000) << "+3020" << 1 << 0.0;
    QTest::newRow("before reading 0, passed over") << "+0.249 -1.10" << qint64(10'000) << "-40" << 0 << 0.0;
    QTest::newRow("out of order") << "+5.0 -4.200 -6.0" << qint64(10'000) << "+4000 -5000" << 1 << 0.0;
    QTest::newRow("two rises without a fall") << "+5.0 +6.0 -7.0" << qint64(10'000) << "+4000 -6000" << 1 << 0.0;
    QTest::newRow("across the tick's wrap")
        << "+65535.0 -0.10 +1.0" << qint64(70'000'000) << "+65534000 -65535040 +65536000" << 0 << 0.0;
    // A count lasts 4 µs / (1 + correction): 250 of them make the corrected tick's millisecond.
    QTest::newRow("a clock 0.5 % fast") << "+1.250 -2.125" << qint64(10'000) << "+995 -1498" << 0 << 5000.0;
    QTest::newRow("a clock 0.5 % slow") << "+1.250 -2.125" << qint64(10'000) << "+1005 -1503" << 0 << -5000.0;
    QTest::newRow("at the last reading, and just after") << "+5.0 -5.1" << qint64(4000) << "+4000" << 0 << 0.0;
}

void TestEdgeStamps::stamps()
{
    QFETCH(QString, frames);
    QFETCH(qint64, last_us);
    QFETCH(QString, kept);
    QFETCH(int, refused);
    QFETCH(double, correction_ppm);
    common::EdgeStamps stamps;
    stamps.edges.push_back({1, true});  // from a run before: started afresh
    acquisition::StampCollector collector(stamps, correction_ppm);
    for (const QString &frame : frames.split(QLatin1Char(' '))) {
        const QStringList parts = frame.mid(1).split(QLatin1Char('.'));
        collector.take(frame.startsWith(QLatin1Char('+')), static_cast<std::uint16_t>(parts[0].toUInt()),
            static_cast<std::uint8_t>(parts[1].toUInt()));
    }
    collector.end(last_us);
    QStringList words;
    for (const common::EdgeStamp &edge : stamps.edges)
        words << (edge.rising ? QStringLiteral("+") : QStringLiteral("-")) + QString::number(edge.time_us);
    QCOMPARE(words.join(QLatin1Char(' ')), kept);
    QCOMPARE(stamps.refused, refused);
}

QTEST_GUILESS_MAIN(TestEdgeStamps)
#include "tst_edge_stamps.moc"
