// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The run cut into pieces of equal time, against an exact quadratic motion worked by hand.

#include "analysis/sections.h"
#include "analysis/tape.h"
#include "strip_analysis.h"

#include <QTest>

#include <cmath>

using support::every;
using support::Ints;

Q_DECLARE_METATYPE(analysis::TapeRefusal)

namespace {

// Holes falling every second for ten seconds (10 readings a second) at pitches 0, 1, 3, 6, 10, ...:
// x = 1.268 t (t + 1) / 2 = 0.634 t + 0.634 t², every gap a hole the strip lacks. An edge seen at
// a reading crossed half a period before it on average, so a piece from t0 to t1 is
// x(t1 + 0.05) - x(t0 + 0.05) long.
double length(double t0, double t1)
{
    auto x = [](double t) { return 0.634 * t + 0.634 * t * t; };
    return x(t1 + 0.05) - x(t0 + 0.05);
}

}  // namespace

class TestTape : public QObject {
    Q_OBJECT

private slots:
    void pieces_data();
    void pieces();
};

void TestTape::pieces_data()
{
    QTest::addColumn<double>("piece_s");
    QTest::addColumn<QList<double>>("range");  // empty: none
    QTest::addColumn<int>("before_turn");      // holes before the cart turned; -1: all
    QTest::addColumn<int>("unseen");           // a hole after holes passed unseen; -1: none
    // One letter a piece: W whole, S shorter, L slack; lower case when off the range.
    QTest::addColumn<QString>("kinds");
    // One letter a piece: t across a hole the strip lacks, m across holes missed as well, e no hole
    // in it, b both t and e.
    QTest::addColumn<QString>("marks");
    QTest::addColumn<QList<double>>("lengths");  // -1: none
    QTest::addColumn<analysis::TapeRefusal>("refusal");

    using Refusal = analysis::TapeRefusal;
    QTest::newRow("2 s pieces dividing the run")
        << 2.0 << QList<double>{} << -1 << -1 << "WWWWW"
        << "ttttt" << QList<double>{length(0, 2), length(2, 4), length(4, 6), length(6, 8), length(8, 10)}
        << Refusal::None;
    // Cuts at 1.5 s, between the edges at 1 and 2 s a gap apart, and at 3 s, on an edge; the last
    // 1 s is a shorter piece.
    QTest::newRow("1.5 s pieces and a shorter one")
        << 1.5 << QList<double>{} << -1 << -1 << "WWWWWWS"
        << "ttttttt"
        << QList<double>{length(0, 1.5), length(1.5, 3), length(3, 4.5), length(4.5, 6), length(6, 7.5), length(7.5, 9),
               length(9, 10)}
        << Refusal::None;
    // Half a second holds a hole every other piece; the first gap is of one pitch.
    QTest::newRow("0.5 s pieces, every other one without a hole")
        << 0.5 << QList<double>{} << -1 << -1 << QString(20, 'W') << ".e" + QString("tb").repeated(9)
        << QList<double>{length(0, 0.5), length(0.5, 1), length(1, 1.5), length(1.5, 2)} << Refusal::None;
    // Sections 1..5 before the turn found in section 6: the moved run ends at 5 s.
    QTest::newRow("a turn") << 2.0 << QList<double>{} << 6 << -1 << "WWLLL"
                            << "tt..." << QList<double>{length(0, 2), length(2, 4), -1, -1, -1} << Refusal::None;
    QTest::newRow("a range holding three middles")
        << 2.0 << QList<double>{3.0, 7.0} << -1 << -1 << "wWWWw"
        << "ttttt" << QList<double>{length(0, 2), length(2, 4), length(4, 6), length(6, 8), length(8, 10)}
        << Refusal::None;
    QTest::newRow("a range just past the middles")
        << 2.0 << QList<double>{3.0000001, 6.9999999} << -1 << -1 << "wwWww"
        << "ttttt" << QList<double>{length(0, 2), length(2, 4), length(4, 6), length(6, 8), length(8, 10)}
        << Refusal::None;
    // The gap before hole 4 holds holes that passed unseen: no pitch after it is sure.
    QTest::newRow("holes missed") << 2.0 << QList<double>{} << -1 << 4 << "WWWWW"
                                  << "tmttt" << QList<double>{-1, -1, -1, -1, -1} << Refusal::None;
    QTest::newRow("a run of one piece") << 10.0 << QList<double>{} << -1 << -1 << "W"
                                        << "t" << QList<double>{length(0, 10)} << Refusal::None;
    QTest::newRow("a run shorter than a piece") << 10.1 << QList<double>{} << -1 << -1 << ""
                                                << "" << QList<double>{} << Refusal::ShorterThanPiece;
}

void TestTape::pieces()
{
    QFETCH(double, piece_s);
    QFETCH(QList<double>, range);
    QFETCH(int, before_turn);
    QFETCH(int, unseen);
    QFETCH(QString, kinds);
    QFETCH(QString, marks);
    QFETCH(QList<double>, lengths);
    QFETCH(analysis::TapeRefusal, refusal);

    const Ints pitches{0, 1, 3, 6, 10, 15, 21, 28, 36, 45, 55};
    analysis::StripAnalysis strip = support::strip(every(10, 11, 5), 0, pitches, 10.0f, 1, before_turn);
    if (before_turn >= 0)
        strip.check.turn_section = before_turn;
    if (unseen >= 0)
        strip.check.holes[static_cast<std::size_t>(unseen)].after_unseen = true;
    common::MeasurementState state;
    state.sample_rate = 10.0f;
    state.edge_count = 10;
    state.edge_index.assign(11, 0);
    for (std::size_t k = 0; k < 11; ++k)
        state.edge_index[k] = 5 + 10 * static_cast<std::int32_t>(k);

    const analysis::Tape tape = analysis::cut_tape(
        state, strip, piece_s, range.isEmpty() ? std::nullopt : std::optional(common::TimeRange{range[0], range[1]}));
    QCOMPARE(tape.refusal, refusal);
    QCOMPARE(static_cast<qsizetype>(tape.pieces.size()), kinds.size());
    double sum_t = 0, sum_v = 0, sum_tt = 0, sum_tv = 0;
    int on_line = 0;
    for (std::size_t k = 0; k < tape.pieces.size(); ++k) {
        const analysis::TapePiece &piece = tape.pieces[k];
        const auto i = static_cast<qsizetype>(k);
        const QChar kind = kinds[i].toUpper();
        QCOMPARE(piece.kind,
            kind == 'W'       ? analysis::TapePiece::Kind::Whole
                : kind == 'S' ? analysis::TapePiece::Kind::Shorter
                              : analysis::TapePiece::Kind::Slack);
        QCOMPARE(piece.in_range, kinds[i].isUpper());
        QCOMPARE(piece.across_torn, marks[i] == 't' || marks[i] == 'm' || marks[i] == 'b');
        QCOMPARE(piece.across_missed, marks[i] == 'm');
        QCOMPARE(piece.estimated, marks[i] == 'e' || marks[i] == 'b');
        if (i < lengths.size()) {
            QCOMPARE(piece.length_cm.has_value(), lengths[i] >= 0);
            if (piece.length_cm)
                QVERIFY2(std::fabs(*piece.length_cm - lengths[i]) <= 1e-9,
                    qPrintable(QStringLiteral("piece %1: %2").arg(k + 1).arg(*piece.length_cm, 0, 'g', 12)));
        }
        if (piece.on_line()) {
            const double t = piece.middle_s();
            const double v = *piece.length_cm / piece_s;
            sum_t += t, sum_v += v, sum_tt += t * t, sum_tv += t * v, ++on_line;
        }
    }
    // The line through the tops: the motion's 1.268 cm/s² wherever its pieces are whole.
    QCOMPARE(tape.line.has_value(), on_line >= 2);
    if (tape.line) {
        QCOMPARE(tape.line->points, on_line);
        const double slope = (on_line * sum_tv - sum_t * sum_v) / (on_line * sum_tt - sum_t * sum_t);
        QVERIFY(std::fabs(slope - 1.268) <= 1e-9);
        QVERIFY2(std::fabs(tape.line->slope - 1.268) <= 1e-5, qPrintable(QString::number(tape.line->slope, 'g', 10)));
    }
}

QTEST_GUILESS_MAIN(TestTape)
#include "tst_tape.moc"
