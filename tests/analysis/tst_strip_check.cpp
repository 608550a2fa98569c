// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The strip check on edge lists worked by hand, its speeds, and recordings that are no strip.

#include "analysis/sections.h"
#include "analysis/strip_check.h"

#include <QTest>

#include <cmath>

using Ints = QList<int>;

namespace {

Ints repeat(int value, int count) { return Ints(count, value); }

// Sections 1..last.
Ints upto(int last)
{
    Ints sections;
    for (int k = 1; k <= last; ++k)
        sections << k;
    return sections;
}

// Pulses with the given gaps between falling edges (readings), the first edge at 100. `light`
// holds the light run of each pulse after the first, or of every pulse when it has one more;
// empty: 40 % of the gap before it.
std::vector<analysis::Pulse> pulses(const Ints &gaps, const Ints &light = {})
{
    const bool first_too = light.size() == gaps.size() + 1;
    std::vector<analysis::Pulse> result{{first_too ? 100 - light[0] : 96, 100}};
    for (qsizetype j = 0; j < gaps.size(); ++j) {
        const std::int32_t falling = result.back().falling + gaps[j];
        const int run = light.isEmpty() ? std::max(1, static_cast<int>(std::lround(0.4 * gaps[j])))
                                        : light[j + (first_too ? 1 : 0)];
        result.push_back({falling - run, falling});
    }
    return result;
}

Ints ints(const std::vector<std::int32_t> &values) { return Ints(values.begin(), values.end()); }

}  // namespace

class TestStripCheck : public QObject {
    Q_OBJECT

private slots:
    void rule_data();
    void rule();
    void speeds_data();
    void speeds();
    void edge_pitches();
    void recordings_that_are_no_strip_data();
    void recordings_that_are_no_strip();
    void stamped_flicker_data();
    void stamped_flicker();
};

void TestStripCheck::rule_data()
{
    QTest::addColumn<Ints>("gaps");
    QTest::addColumn<Ints>("light");
    QTest::addColumn<int>("holes");
    QTest::addColumn<Ints>("missed");
    QTest::addColumn<Ints>("extra");
    QTest::addColumn<Ints>("coarse");
    QTest::addColumn<Ints>("torn");
    QTest::addColumn<int>("turn");  // 0: none

    // Gap j lies in section j / holes + 1; the graph has (edges - 1) / holes sections. A hole can
    // pass between two readings only where the holes nearby took about one reading each, which
    // is also a period at its limit; where they took several, the strip itself lacks the hole.
    QTest::newRow("an even strip") << repeat(10, 20) << Ints{} << 1 << Ints{} << Ints{} << Ints{} << Ints{} << 0;
    QTest::newRow("a lost hole in the middle") << repeat(10, 9) + Ints{20} + repeat(10, 9) << repeat(1, 19) << 1
                                               << Ints{10} << Ints{} << upto(19) << Ints{} << 0;
    QTest::newRow("the same, 3 holes a section") << repeat(10, 9) + Ints{20} + repeat(10, 9) << repeat(1, 19) << 3
                                                 << Ints{4} << Ints{} << upto(6) << Ints{} << 0;
    QTest::newRow("a lost hole near the end, the gap after it even")
        << repeat(10, 15) + Ints{20, 10} << repeat(1, 17) << 1 << Ints{16} << Ints{} << upto(17) << Ints{} << 0;
    QTest::newRow("the last gap alone is not claimed")
        << repeat(10, 16) + Ints{20} << repeat(1, 17) << 1 << Ints{} << Ints{} << upto(17) << Ints{} << 0;
    QTest::newRow("a lost hole after the first gap")
        << Ints{10, 20} + repeat(10, 16) << repeat(1, 18) << 1 << Ints{2} << Ints{} << upto(18) << Ints{} << 0;
    // The last gap has no gap after it: the last hole's light run, as long as those before it,
    // tells that the cart kept its speed; a longer one that it slowed.
    QTest::newRow("a torn hole at the last gap")
        << repeat(10, 16) + Ints{20} << repeat(4, 17) << 1 << Ints{} << Ints{} << Ints{} << Ints{17} << 0;
    QTest::newRow("a cart slowing into the last gap")
        << repeat(10, 16) + Ints{20} << repeat(4, 16) + Ints{8} << 1 << Ints{} << Ints{} << Ints{} << Ints{} << 0;
    QTest::newRow("a turn at the last gap")
        << Ints{10, 10, 10, 10, 11, 12, 14, 17, 22, 35} << Ints{4, 4, 4, 4, 4, 5, 5, 6, 12, 12} << 1 << Ints{} << Ints{}
        << Ints{} << Ints{} << 10;
    QTest::newRow("the first gap alone is not claimed")
        << Ints{20} + repeat(10, 16) << repeat(1, 17) << 1 << Ints{} << Ints{} << upto(17) << Ints{} << 0;
    QTest::newRow("a torn hole after the first gap")
        << Ints{10, 20} + repeat(10, 16) << Ints{} << 1 << Ints{} << Ints{} << Ints{} << Ints{2} << 0;
    QTest::newRow("two lost in a row") << repeat(10, 8) + Ints{20, 20} + repeat(10, 8) << repeat(1, 18) << 1
                                       << Ints{9, 10} << Ints{} << upto(18) << Ints{} << 0;
    QTest::newRow("two lost in one gap") << repeat(10, 8) + Ints{30} + repeat(10, 8) << repeat(1, 17) << 1 << Ints{9}
                                         << Ints{} << upto(17) << Ints{} << 0;
    QTest::newRow("a hole missing from the strip")
        << repeat(10, 9) + Ints{20} + repeat(10, 9) << Ints{} << 1 << Ints{} << Ints{} << Ints{} << Ints{10} << 0;
    QTest::newRow("the same, 3 holes a section, torn")
        << repeat(10, 9) + Ints{20} + repeat(10, 9) << Ints{} << 3 << Ints{} << Ints{} << Ints{} << Ints{4} << 0;
    // Holes of four readings, then of one: the first gap is the strip's, the second the period's.
    QTest::newRow("a torn hole, and later a missed one")
        << repeat(10, 6) + Ints{20} + repeat(10, 12) + Ints{20} + repeat(10, 7) << repeat(4, 13) + repeat(1, 14) << 1
        << Ints{20} << Ints{} << upto(27).mid(13) << Ints{7} << 0;
    // A flicker at a falling edge: dark, light, dark readings where one fall was: the pulse of the
    // short gap is one reading light after one reading dark. With a hole a section, each fall of
    // the crossing ends one section and begins the next, which are all named.
    QTest::newRow("an edge counted twice") << repeat(10, 8) + Ints{2, 8} + repeat(10, 8) << Ints{} << 1 << Ints{}
                                           << Ints{8, 9, 10} << Ints{} << Ints{} << 0;
    QTest::newRow("a bounce at the second edge")
        << Ints{10, 2, 8} + repeat(10, 16) << Ints{} << 1 << Ints{} << Ints{1, 2, 3} << Ints{} << Ints{} << 0;
    QTest::newRow("a bounce at the second-last edge")
        << repeat(10, 16) + Ints{2, 8, 10} << Ints{} << 1 << Ints{} << Ints{16, 17, 18} << Ints{} << Ints{} << 0;
    // Taking a bounce out may leave a long gap beside it: the bounce is told, not a torn strip.
    QTest::newRow("a gap of two pitches beside a bounce") << repeat(10, 8) + Ints{2, 8, 20} + repeat(10, 8) << Ints{}
                                                          << 1 << Ints{} << Ints{8, 9, 10, 11} << Ints{} << Ints{} << 0;
    QTest::newRow("two bounces two sections apart") << repeat(10, 6) + Ints{2, 8, 10, 2, 8} + repeat(10, 6) << Ints{}
                                                    << 1 << Ints{} << Ints{6, 7, 8, 9, 10, 11} << Ints{} << Ints{} << 0;
    // Light for a reading, dark for a reading, then the hole: both gaps around the bounce's fall
    // are parts of a pitch.
    QTest::newRow("a bounce as light began")
        << repeat(10, 8) + Ints{7, 3} + repeat(10, 8) << repeat(4, 8) + Ints{1, 2} + repeat(4, 8) << 1 << Ints{}
        << Ints{9, 10} << Ints{} << Ints{} << 0;
    QTest::newRow("a steady slowdown") << Ints{10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16, 17, 17, 18, 18}
                                       << Ints{} << 1 << Ints{} << Ints{} << Ints{} << Ints{} << 0;
    QTest::newRow("a sharp slowdown at the end")
        << repeat(10, 8) + Ints{11, 13, 16, 20, 26} << Ints{} << 1 << Ints{} << Ints{} << Ints{} << Ints{} << 0;
    QTest::newRow("a cart that stops and rolls back")
        << Ints{10, 10, 10, 10, 11, 12, 14, 17, 22, 35, 22, 17, 14, 12, 11, 10, 10, 10, 10} << Ints{} << 1 << Ints{}
        << Ints{} << Ints{} << Ints{} << 10;
    QTest::newRow("a stop far longer than a pitch")
        << repeat(10, 8) + Ints{60} + repeat(10, 8) << Ints{} << 1 << Ints{} << Ints{} << Ints{} << Ints{} << 9;
    // Only the first turn is told; the edges after it say nothing more that can be trusted.
    const Ints turn = Ints{10, 10, 10, 10, 11, 12, 14, 17, 22, 35, 22, 17, 14, 12, 11, 10, 10, 10, 10};
    QTest::newRow("a cart that turns round twice")
        << turn + turn.mid(4) << Ints{} << 1 << Ints{} << Ints{} << Ints{} << Ints{} << 10;
    // A strip with every other hole missing is an even strip of twice the pitch: nothing to tell.
    QTest::newRow("every other hole missing")
        << repeat(20, 16) << repeat(4, 16) << 1 << Ints{} << Ints{} << Ints{} << Ints{} << 0;
    QTest::newRow("a stop inside the first section")
        << Ints{10, 60} << Ints{} << 1 << Ints{} << Ints{} << Ints{} << Ints{} << 0;
    // A cart pushed up a slope passes its first hole fastest, in a single reading of light.
    QTest::newRow("a short first hole on a cart that turns")
        << Ints{5, 5, 6, 6, 8, 9, 15, 34, 12, 9, 7, 6, 6, 5, 5, 4}
        << Ints{1, 2, 2, 2, 3, 2, 3, 4, 7, 7, 4, 3, 3, 2, 2, 2, 2} << 1 << Ints{} << Ints{} << Ints{} << Ints{} << 8;
    QTest::newRow("a bounce off the stop")
        << repeat(10, 6) + Ints{12} + repeat(18, 6) << Ints{} << 1 << Ints{} << Ints{} << Ints{} << Ints{} << 7;
    // Holes seen by one reading each at three readings a pitch: a hole is a third of the pitch.
    QTest::newRow("holes seen by a single reading")
        << repeat(3, 12) << repeat(1, 12) << 4 << Ints{} << Ints{} << Ints{1, 2, 3} << Ints{} << 0;
    QTest::newRow("a bar seen by a single reading")
        << repeat(4, 12) << repeat(3, 12) << 1 << Ints{} << Ints{} << upto(12) << Ints{} << 0;
    // One reading of light amid holes of eight at twenty readings a pitch, its fall where the
    // strip puts one: a hole all the same.
    QTest::newRow("a single reading amid slow holes")
        << repeat(20, 12) << repeat(8, 5) + Ints{1} + repeat(8, 6) << 1 << Ints{} << Ints{} << Ints{} << Ints{} << 0;
    // 21 edges with 3 holes a section: 6 sections end at edge 18; gap 18 lies in the unfinished
    // seventh.
    QTest::newRow("beyond the last section")
        << repeat(10, 14) + Ints{10, 10, 10, 10, 20, 10} << Ints{} << 3 << Ints{} << Ints{} << Ints{} << Ints{} << 0;
}

void TestStripCheck::rule()
{
    QFETCH(Ints, gaps);
    QFETCH(Ints, light);
    QFETCH(int, holes);
    QFETCH(Ints, missed);
    QFETCH(Ints, extra);
    QFETCH(Ints, coarse);
    QFETCH(Ints, torn);
    QFETCH(int, turn);

    const std::vector<analysis::Pulse> edges = pulses(gaps, light);
    const auto sections = static_cast<std::int32_t>(edges.size() - 1) / holes;
    const analysis::StripCheck check
        = analysis::check_strip(edges, static_cast<std::int16_t>(holes), sections, 1000.0f);
    QCOMPARE(ints(check.missed_hole_sections), missed);
    QCOMPARE(ints(check.extra_edge_sections), extra);
    QCOMPARE(ints(check.coarse_period_sections), coarse);
    QCOMPARE(ints(check.torn_hole_sections), torn);
    QCOMPARE(check.turn_section.value_or(0), turn);
    QCOMPARE(check.found_something(),
        !(missed.isEmpty() && extra.isEmpty() && coarse.isEmpty() && torn.isEmpty() && turn == 0));
    QCOMPARE(check.period_at_fault(), !(missed.isEmpty() && coarse.isEmpty()));
}

void TestStripCheck::speeds_data()
{
    QTest::addColumn<Ints>("gaps");
    QTest::addColumn<Ints>("light");
    QTest::addColumn<float>("sample_rate");
    QTest::addColumn<double>("narrower_cm");
    QTest::addColumn<double>("followable_cm_s");
    QTest::addColumn<double>("fastest_cm_s");
    QTest::addColumn<double>("longest_ms");

    // 10 readings a pitch at 1 ms, 4 of them light: the hole is 0.4 of 1.268 cm, 0.5072 cm,
    // followed up to 0.5072 cm/ms; the sections move 1.268 cm in 10 ms, 126.8 cm/s, and a period
    // of 0.5072 / (2 x 126.8) s = 2 ms follows them twice over.
    QTest::newRow("holes narrower than bars")
        << repeat(10, 20) << repeat(4, 20) << 1000.0f << 0.5072 << 507.2 << 126.8 << 2.0;
    // 7 light readings of 10: the bar, 0.3 of the pitch, is the narrower.
    QTest::newRow("bars narrower than holes")
        << repeat(10, 20) << repeat(7, 20) << 1000.0f << 0.3804 << 380.4 << 126.8 << 1.5;
    // At 5 ms the same readings mean a cart five times slower.
    QTest::newRow("at 5 ms") << repeat(10, 20) << repeat(4, 20) << 200.0f << 0.5072 << 101.44 << 25.36 << 10.0;
    // A hole not seen in a gap of 19 readings: its section moved two pitches, 2.536 cm in 19 ms.
    // The share of light is that of the pitches of one hole: 72 of 180 readings.
    QTest::newRow("a hole not seen counts two pitches")
        << repeat(10, 9) + Ints{19} + repeat(10, 9) << repeat(4, 19) << 1000.0f << 0.4 * 1.268 << 0.4 * 1268
        << 2536.0 / 19 << 0.4 * 1.268 / (2 * 2536.0 / 19) * 1000;
    // Gaps of 10 readings but one of 8: a bounce no rule took out, counted at 1.1 times the speed
    // of the gaps around it, not at 1.25. Light is 76 of 188 readings.
    QTest::newRow("a window faster than the gaps around it")
        << repeat(10, 9) + Ints{8} + repeat(10, 9) << repeat(4, 19) << 1000.0f << 76 * 1.268 / 188 << 76 * 1268.0 / 188
        << 1.1 * 126.8 << 76 * 1.268 / 188 / (2 * 1.1 * 126.8) * 1000;
    // Four bounces, each a fall 2 readings after the hole's, name 8 of the 16 sections: the speed
    // is left unjudged. The light share comes from the pitches no bounce cut, 4 of 10.
    const Ints bounce{2, 8};
    QTest::newRow("bounces in half the sections") << repeat(10, 2) + bounce + repeat(10, 2) + bounce + repeat(10, 2)
            + bounce + repeat(10, 2) + bounce + repeat(10, 2)
                                                  << Ints{} << 1000.0f << 0.4 * 1.268 << 0.4 * 1268 << 0.0 << 0.0;
}

void TestStripCheck::speeds()
{
    QFETCH(Ints, gaps);
    QFETCH(Ints, light);
    QFETCH(float, sample_rate);
    QFETCH(double, narrower_cm);
    QFETCH(double, followable_cm_s);
    QFETCH(double, fastest_cm_s);
    QFETCH(double, longest_ms);

    const std::vector<analysis::Pulse> edges = pulses(gaps, light);
    const analysis::StripCheck check
        = analysis::check_strip(edges, 1, static_cast<std::int32_t>(gaps.size()), sample_rate);
    // Sums of a few dozen readings and one division each: exact to far below 1e-9. 0: not given.
    auto near = [](const std::optional<double> &actual, double expected) {
        return expected == 0 ? !actual : actual && std::fabs(*actual - expected) <= 1e-9 * expected;
    };
    QVERIFY(near(check.narrower_cm, narrower_cm));
    QVERIFY(near(check.followable_speed_cm_s, followable_cm_s));
    QVERIFY(near(check.fastest_section_cm_s, fastest_cm_s));
    QVERIFY2(
        near(check.longest_period_ms, longest_ms), qPrintable(QString::number(check.longest_period_ms.value_or(-1))));
    QCOMPARE(check.period_ms, 1000.0 / sample_rate);
}

void TestStripCheck::edge_pitches()
{
    // A hole not seen puts every later edge one pitch further on; of the pair counted twice, the
    // edge the two gaps share is none of the strip's, and the hole's fall lies between the two.
    const std::vector<analysis::Pulse> edges
        = pulses(repeat(10, 8) + Ints{20} + repeat(10, 4) + Ints{2, 8} + repeat(10, 8));
    const analysis::StripCheck check = analysis::check_strip(edges, 1, 23, 1000.0f);
    QCOMPARE(ints(check.torn_hole_sections), Ints{9});
    QCOMPARE(ints(check.extra_edge_sections), (Ints{13, 14, 15}));
    QCOMPARE(check.edge_pitch.size(), edges.size());
    QCOMPARE(check.edge_pitch[8], 8);
    QCOMPARE(check.edge_pitch[9], 10);
    QCOMPARE(check.edge_pitch[13], 14);
    QCOMPARE(check.edge_pitch[14], -1);
    QCOMPARE(check.edge_pitch[15], 15);
    QCOMPARE(check.edge_pitch.back(), 23);
    QCOMPARE(check.holes.size(), edges.size() - 1);
    QCOMPARE(check.holes[13].falling, edges[13].falling + 1.0);
    QCOMPARE(check.holes[13].rising, static_cast<double>(edges[13].rising));
}

void TestStripCheck::recordings_that_are_no_strip_data()
{
    QTest::addColumn<QList<int>>("samples");
    QTest::addColumn<int>("holes");
    QTest::addColumn<int>("edges");  // -1: any number
    QTest::addColumn<bool>("speeds");
    QTest::addColumn<bool>("noise");  // no strip at all: only the sections it names are checked
    QTest::addColumn<Ints>("extra");

    QList<int> pulse_train;
    for (int p = 0; p < 10; ++p)
        pulse_train << 20 << 20 << 20 << 230 << 230;
    pulse_train << 20 << 20;
    // 60 pitches of 12 dark and 8 light readings, falling edge k at 20 + 20 k; at every seventh
    // pitch from the fourth the fall chatters (124, 126, then dark), which adds an edge 2 readings
    // after the real one. Edge k + (chatters before it) is the real one, so the short gaps are
    // gaps 3, 11, 19, ..., 67, and the gaps on either side of each as well, but for the last at
    // the recording's last edge.
    QList<int> chatter;
    for (int k = 0; k < 60; ++k) {
        chatter << QList<int>(12, 20) << QList<int>(8, 230);
        if (k % 7 == 3)
            chatter << 124 << 126;
    }
    chatter << QList<int>(12, 20);
    // A level that hovers at the threshold, as a sensor half in the light gives: readings of
    // 124 and 126 in a pattern that never repeats evenly; and readings anywhere in -255..255, as
    // a file may hold them.
    QList<int> hovering;
    QList<int> anything;
    std::uint32_t state = 12345;
    for (int i = 0; i < 3000; ++i) {
        state = state * 1103515245u + 12345u;
        hovering << ((state >> 16) % 3 == 0 ? 126 : 124);
        anything << static_cast<int>((state >> 8) % 511) - 255;
    }

    QTest::newRow("no edge") << QList<int>(50, 20) << 1 << 0 << false << false << Ints{};
    QTest::newRow("one edge") << QList<int>{20, 230, 230, 20, 20} << 1 << 1 << false << false << Ints{};
    QTest::newRow("every edge in one unfinished section") << pulse_train << 20 << 10 << true << false << Ints{};
    QTest::newRow("no holes per section") << pulse_train << 0 << 10 << false << false << Ints{};
    QTest::newRow("falling edges that chatter")
        << chatter << 1 << 69 << true << false
        << Ints{3, 4, 5, 11, 12, 13, 19, 20, 21, 27, 28, 29, 35, 36, 37, 43, 44, 45, 51, 52, 53, 59, 60, 61, 67, 68};
    QTest::newRow("a threshold that flickers") << hovering << 1 << -1 << true << true << Ints{};
    QTest::newRow("anything a file holds") << anything << 2 << -1 << true << true << Ints{};
}

void TestStripCheck::recordings_that_are_no_strip()
{
    QFETCH(QList<int>, samples);
    QFETCH(int, holes);
    QFETCH(int, edges);
    QFETCH(bool, speeds);
    QFETCH(bool, noise);
    QFETCH(Ints, extra);

    common::MeasurementState state;
    std::copy(samples.begin(), samples.end(), state.samples.begin());
    state.last_sample = static_cast<std::int32_t>(samples.size()) - 1;
    state.sample_rate = 1000;
    state.measured = true;
    analysis::begin_graph(state, static_cast<std::int16_t>(holes));
    analysis::analyse_sections(state);
    const analysis::StripAnalysis strip = analysis::analyse_strip(state);

    if (edges >= 0)
        QCOMPARE(static_cast<int>(strip.pulses.size()), edges);
    QCOMPARE(strip.check.edge_pitch.size(), strip.pulses.size());
    QCOMPARE(strip.check.followable_speed_cm_s.has_value(), speeds);
    // Nothing is claimed of a section the graph does not have.
    for (const auto *sections : {&strip.check.missed_hole_sections, &strip.check.extra_edge_sections,
             &strip.check.coarse_period_sections, &strip.check.torn_hole_sections}) {
        for (const std::int32_t section : *sections)
            QVERIFY(section >= 1 && section <= state.edge_count);
    }
    if (const std::optional<std::int32_t> turn = strip.check.turn_section)
        QVERIFY(*turn >= 1 && *turn <= state.edge_count);
    // Noise that looks like a strip at two or three readings a pitch is judged as one; a strip
    // is judged for what it holds.
    if (!noise) {
        QVERIFY(strip.check.missed_hole_sections.empty());
        QVERIFY(strip.check.coarse_period_sections.empty());
        QVERIFY(strip.check.torn_hole_sections.empty() && !strip.check.turn_section);
        QCOMPARE(ints(strip.check.extra_edge_sections), extra);
    }
}

void TestStripCheck::stamped_flicker_data()
{
    // Twelve holes at 1 ms, each lit for readings 8k + 2..8k + 5 and stamped where the readings
    // cross, falls at 5.5 ms + 8k ms; two holes a section, so five whole sections. Flicker from
    // these µs on for `lasting` µs: light on a bar, or dark in a hole.
    QTest::addColumn<Ints>("flicker");
    QTest::addColumn<int>("lasting");
    QTest::addColumn<int>("sections");
    QTest::addColumn<int>("denied");  // stamps the readings deny
    QTest::addColumn<Ints>("extra");

    QTest::newRow("none") << Ints{} << 0 << 5 << 0 << Ints{};
    // Readings 7 and 8, well inside, are dark.
    QTest::newRow("light in the first bar") << Ints{6200} << 2600 << 5 << 2 << Ints{1};
    QTest::newRow("dark in the third hole") << Ints{18200} << 2600 << 5 << 2 << Ints{1};
    QTest::newRow("light in the bar after it") << Ints{22200} << 2600 << 5 << 2 << Ints{2};
    QTest::newRow("in the last section") << Ints{78200} << 2600 << 5 << 2 << Ints{5};
    QTest::newRow("past the last section") << Ints{86200} << 2600 << 5 << 2 << Ints{};
    QTest::newRow("twice in one section, once in another") << Ints{6200, 14200, 30200} << 2600 << 5 << 6 << Ints{1, 2};
    // Too brief for a reading: counted as an edge, and the spacing names it.
    QTest::newRow("brief light in the first bar") << Ints{7000} << 100 << 6 << 0 << Ints{1};
    // The extra fall ends one gap and starts the next, in sections 2 and 3.
    QTest::newRow("brief dark in the fifth hole") << Ints{35000} << 100 << 6 << 0 << Ints{2, 3};
}

void TestStripCheck::stamped_flicker()
{
    QFETCH(Ints, flicker);
    QFETCH(int, lasting);
    QFETCH(int, sections);
    QFETCH(int, denied);
    QFETCH(Ints, extra);

    common::MeasurementState state;
    std::fill(state.samples.begin(), state.samples.end(), std::int16_t(20));
    std::vector<std::pair<std::int64_t, bool>> edges;
    for (int k = 0; k < 12; ++k) {
        for (int i = 2; i <= 5; ++i)
            state.samples[static_cast<std::size_t>(8 * k + i)] = 230;
        edges.emplace_back((8 * k + 1) * 1000 + 500, true);
        edges.emplace_back((8 * k + 5) * 1000 + 500, false);
    }
    for (const int at : flicker) {
        // In a hole the light drops; on a bar it comes.
        const bool lit = at % 8000 >= 1500 && at % 8000 < 5500;
        edges.emplace_back(at, !lit);
        edges.emplace_back(at + lasting, lit);
    }
    std::sort(edges.begin(), edges.end());
    state.last_sample = 99;
    state.period_ms = 1;
    state.sample_rate = 1000;
    state.measured = true;
    state.stamps.stamped = true;
    for (const auto &[time_us, rising] : edges)
        state.stamps.edges.push_back({time_us, rising});
    analysis::begin_graph(state, 2);
    analysis::analyse_sections(state);
    QCOMPARE(state.edge_count, sections);
    const analysis::StripAnalysis strip = analysis::analyse_strip(state);
    QCOMPARE(static_cast<int>(strip.unmatched_stamps.size()), denied);
    QCOMPARE(ints(strip.check.extra_edge_sections), extra);
    // The holes keep their own stamps.
    QCOMPARE(strip.pulses[0].falling, 5500);
}

QTEST_GUILESS_MAIN(TestStripCheck)
#include "tst_strip_check.moc"
