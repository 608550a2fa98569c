// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The board's byte stream read back: recorded streams with every fault of a line (lost, doubled
// and spoilt bytes, stray bytes, bytes split anywhere) give the readings that came whole and say
// that something else came, and never take anything else for a reading.

#include "converter/board_protocol.h"

#include <QTest>

using converter::BoardEvent;

namespace {

QByteArray frame(std::uint8_t kind, std::uint16_t sequence, std::uint8_t value)
{
    std::uint8_t bytes[5]
        = {kind, static_cast<std::uint8_t>(sequence & 0xFF), static_cast<std::uint8_t>(sequence >> 8), value, 0};
    bytes[4] = converter::crc8(bytes, 4);
    return QByteArray(reinterpret_cast<const char *>(bytes), 5);
}

QByteArray reading(std::uint16_t sequence, std::uint8_t value)
{
    return frame(converter::kReadingFrame, sequence, value);
}
QByteArray end(std::uint16_t sequence, std::uint8_t code) { return frame(converter::kEndFrame, sequence, code); }

// The events in short: G<layout>/<firmware>/<correction or ->, R<sequence>=<value>, F, S, O (with a
// trailing ! when edges were lost), N<bytes>, E+<tick>.<count> for a rise and E-<tick>.<count> for a fall.
QString described(const std::vector<BoardEvent> &events)
{
    QStringList words;
    for (const BoardEvent &event : events) {
        switch (event.kind) {
        case BoardEvent::Kind::Greeting:
            words << QStringLiteral("G%1/%2/%3")
                         .arg(event.greeting.layout)
                         .arg(event.greeting.firmware,
                             event.greeting.correction ? QString::number(*event.greeting.correction)
                                                       : QStringLiteral("-"));
            break;
        case BoardEvent::Kind::Reading:
            words << QStringLiteral("R%1=%2").arg(event.sequence).arg(event.value);
            break;
        case BoardEvent::Kind::Finished:
            words << QStringLiteral("F") + (event.edges_lost ? QStringLiteral("!") : QString());
            break;
        case BoardEvent::Kind::Stopped:
            words << QStringLiteral("S") + (event.edges_lost ? QStringLiteral("!") : QString());
            break;
        case BoardEvent::Kind::Overflow:
            words << QStringLiteral("O") + (event.edges_lost ? QStringLiteral("!") : QString());
            break;
        case BoardEvent::Kind::Edge:
            words << QStringLiteral("E%1%2.%3").arg(event.rising ? '+' : '-').arg(event.sequence).arg(event.value);
            break;
        case BoardEvent::Kind::Noise:
            words << QStringLiteral("N%1").arg(event.value);
            break;
        }
    }
    return words.join(QLatin1Char(' '));
}

}  // namespace

class TestBoardProtocol : public QObject {
    Q_OBJECT

private slots:
    void reader_data();
    void reader();
    void crc8_is_the_firmware_s();
};

void TestBoardProtocol::reader_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("events");

    const QByteArray two = reading(0, 200) + reading(1, 17);
    QTest::newRow("greeting") << QByteArray("UNDOU-BOARD 1 1.0 -\n") << "G1/1.0/-";
    QTest::newRow("greeting with its clock") << QByteArray("UNDOU-BOARD 1 1.0 -4870\n") << "G1/1.0/-4870";
    QTest::newRow("boot loader's bytes, then the greeting")
        << QByteArray("\x00\x14\x10UNDOU-BOARD 1 1.0 12\n", 24) << "N3 G1/1.0/12";
    QTest::newRow("a greeting of another kind") << QByteArray("UNDOU-BOARD x 1.0 -\n") << "N20";
    QTest::newRow("a line too long for a greeting") << QByteArray("U") + QByteArray(70, 'x') << "N71";
    QTest::newRow("readings and the end") << two + end(2, 1) << "R0=200 R1=17 F";
    QTest::newRow("stopped") << reading(7, 0) + end(8, 2) << "R7=0 S";
    QTest::newRow("overflow") << reading(65535, 255) + end(0, 3) << "R65535=255 O";
    // A byte spoilt, lost or doubled: the frame fails its check; the next whole frame is read.
    QByteArray spoilt = two;
    spoilt[3] = static_cast<char>(spoilt[3] ^ 0x01);
    QTest::newRow("value byte spoilt") << spoilt << "N5 R1=17";
    QByteArray lost = two;
    lost.remove(2, 1);
    QTest::newRow("byte lost") << lost << "N4 R1=17";
    QByteArray doubled = two;
    doubled.insert(3, doubled[3]);
    QTest::newRow("value byte doubled") << doubled << "N6 R1=17";
    QByteArray first_doubled = two;
    first_doubled.insert(0, first_doubled[0]);
    QTest::newRow("frame mark doubled") << first_doubled << "N1 R0=200 R1=17";
    QTest::newRow("stray bytes between frames")
        << reading(0, 1) + QByteArray("\x5A\x01\x99", 3) + reading(1, 2) << "R0=1 N3 R1=2";
    // Frames that look like frames but for their check are never readings; the last four bytes
    // wait for the rest of a frame.
    QTest::newRow("all frame marks") << QByteArray(12, '\xA5') << "N8";
    // Layout 2: the edges between the readings, and the end that says some were not sent.
    const QByteArray rise = frame(converter::kRiseFrame, 300, 249);
    const QByteArray fall = frame(converter::kFallFrame, 65535, 0);
    QTest::newRow("edges between readings")
        << reading(0, 20) + rise + reading(1, 230) + fall + end(2, 1) << "R0=20 E+300.249 R1=230 E-65535.0 F";
    QByteArray torn_edge = rise;
    torn_edge[3] = static_cast<char>(torn_edge[3] ^ 0x04);
    QTest::newRow("edge frame spoilt: noise, never an edge") << torn_edge + reading(5, 9) << "N5 R5=9";
    QTest::newRow("finished, edges lost") << end(10, 0x11) << "F!";
    QTest::newRow("stopped, edges lost") << end(10, 0x12) << "S!";
    QTest::newRow("overflow, edges lost") << end(10, 0x13) << "O!";
}

void TestBoardProtocol::reader()
{
    QFETCH(QByteArray, stream);
    QFETCH(QString, events);
    // Whole, and split at every place: the same events, bar how the noise is counted in pieces.
    converter::BoardReader whole;
    std::vector<BoardEvent> all = whole.feed(stream);
    QCOMPARE(described(all), events);
    for (qsizetype cut = 1; cut < stream.size(); ++cut) {
        converter::BoardReader reader;
        std::vector<BoardEvent> pieces = reader.feed(stream.left(cut));
        for (const BoardEvent &event : reader.feed(stream.mid(cut)))
            pieces.push_back(event);
        QStringList kept;
        int noise = 0;
        for (const QString &word : described(pieces).split(QLatin1Char(' '), Qt::SkipEmptyParts))
            word.startsWith(QLatin1Char('N')) ? void(noise += word.mid(1).toInt()) : void(kept << word);
        QStringList expected_kept;
        int expected_noise = 0;
        for (const QString &word : events.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            word.startsWith(QLatin1Char('N')) ? void(expected_noise += word.mid(1).toInt())
                                              : void(expected_kept << word);
        QCOMPARE(kept, expected_kept);
        QCOMPARE(noise, expected_noise);
    }
}

void TestBoardProtocol::crc8_is_the_firmware_s()
{
    // CRC-8 with the polynomial x^8 + x^2 + x + 1, from 0: the check value of "123456789" is 0xF4.
    const QByteArray check = "123456789";
    QCOMPARE(converter::crc8(reinterpret_cast<const std::uint8_t *>(check.constData()), 9), std::uint8_t(0xF4));
}

QTEST_GUILESS_MAIN(TestBoardProtocol)
#include "tst_board_protocol.moc"
