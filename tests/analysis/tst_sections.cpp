// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// From recorded samples to hole edges, section boundaries and the section table.

#include "analysis/edge_scan.h"
#include "analysis/sections.h"

#include <QTest>

#include <vector>

using common::MeasurementState;

namespace {

// A state as the Measure command leaves it: samples 0..N as given, the rest of the table 0.
MeasurementState measured_state(const std::vector<std::int16_t> &samples, float sample_rate)
{
    MeasurementState state;
    std::copy(samples.begin(), samples.end(), state.samples.begin());
    state.last_sample = static_cast<std::int32_t>(samples.size()) - 1;
    state.sample_rate = sample_rate;
    state.measured = true;
    state.x_zoom = 1;
    state.y_zoom = 1;
    return state;
}

// The recording used by the worked example: a leading run above the threshold, two pulses, and a
// pulse that is still high when the recording ends.
const std::vector<std::int16_t> kWorkedExample = {200, 200, 50, 50, 130, 130, 50, 50, 125, 50, 50, 130, 40};

// `pulses` dark-light pulses of 2 + 2 samples, then dark to the end: an edge every 4 samples,
// the first at index 4.
std::vector<std::int16_t> pulse_train(int pulses)
{
    std::vector<std::int16_t> samples;
    for (int p = 0; p < pulses; ++p)
        samples.insert(samples.end(), {20, 20, 230, 230});
    samples.insert(samples.end(), {20, 20});
    return samples;
}

}  // namespace

class TestSections : public QObject {
    Q_OBJECT

private slots:
    void beginGraph_data();
    void beginGraph();

    void workedExampleOneHole();
    void workedExampleTwoHoles();

    void edgeScan_data();
    void edgeScan();
    void pulses_data();
    void pulses();
    void stamps_data();
    void stamps();

    void sectionCount_data();
    void sectionCount();

    void entriesBeyondTheWrittenOnesKeepTheirValues();
    void moreSectionsThanTheFixedTables();
    void scanStaysInsideTheSampleTable_data();
    void scanStaysInsideTheSampleTable();
    void holesBelowOneChangeNothing();
};

void TestSections::beginGraph_data()
{
    QTest::addColumn<int>("holes");
    QTest::addColumn<float>("section_length");

    // holes x 1.268 in double precision, then rounded to a float: exact figures.
    QTest::newRow("1 hole") << 1 << 1.2680000066757202f;
    QTest::newRow("3 holes") << 3 << 3.803999900817871f;
    QTest::newRow("5 holes") << 5 << 6.340000152587891f;
    QTest::newRow("10 holes") << 10 << 12.680000305175781f;
}

void TestSections::beginGraph()
{
    QFETCH(int, holes);
    QFETCH(float, section_length);

    MeasurementState state;
    state.fit_shown = true;
    state.x_zoom = 8;
    state.y_zoom = 0.25f;
    state.edge_count = 17;
    state.plotted_sections = 5;
    analysis::begin_graph(state, static_cast<std::int16_t>(holes));

    QCOMPARE(state.holes_per_section, static_cast<std::int16_t>(holes));
    QCOMPARE(state.section_length, section_length);
    QVERIFY(state.graphed);
    QVERIFY(!state.fit_shown);
    QCOMPARE(state.x_zoom, 1.0f);
    QCOMPARE(state.y_zoom, 1.0f);
    // The tables belong to the analysis, which runs only after a measurement.
    QCOMPARE(state.edge_count, 17);
    QCOMPARE(state.plotted_sections, 5);
    QVERIFY(!state.measured);
}

void TestSections::workedExampleOneHole()
{
    MeasurementState state = measured_state(kWorkedExample, 10);
    state.plotted_sections = 9;
    analysis::begin_graph(state, 1);
    analysis::analyse_sections(state);

    // The leading run is skipped; 125 at index 8 counts as high; the run at 11 reaches N.
    QCOMPARE(state.edge_index[0], 6);
    QCOMPARE(state.edge_index[1], 9);
    QCOMPARE(state.edge_count, 1);
    // (9 - 6) / 10 and ((6 + 9) / 2 - 6) / 10 rounded to floats, and 1.268f / 0.3f: exact.
    QCOMPARE(state.sect_dt[1], 0.3f);
    QCOMPARE(state.sect_velocity[1], 4.226666450500488f);
    QCOMPARE(state.sect_time[1], 0.15f);
    // Entry 0 of the section tables is not a section.
    QCOMPARE(state.sect_dt[0], 0.0f);
    QCOMPARE(state.sect_velocity[0], 0.0f);
    QCOMPARE(state.sect_time[0], 0.0f);
    // The drawing, not the analysis, decides which points are plotted.
    QCOMPARE(state.plotted_sections, 9);
}

void TestSections::workedExampleTwoHoles()
{
    MeasurementState state = measured_state(kWorkedExample, 10);
    state.edge_index[1] = 4321;
    state.sect_velocity[1] = 77;
    analysis::begin_graph(state, 2);
    analysis::analyse_sections(state);

    QCOMPARE(state.edge_index[0], 6);
    QCOMPARE(state.edge_count, 0);  // (2 - 1) div 2
    // Edge 1 opens a second section that never closes: nothing more is written.
    QCOMPARE(state.edge_index[1], 4321);
    QCOMPARE(state.sect_velocity[1], 77.0f);
}

void TestSections::edgeScan_data()
{
    QTest::addColumn<QList<int>>("samples");  // indices 0..N
    QTest::addColumn<QList<int>>("edges");    // sample index of every edge, with one hole a section

    QTest::newRow("falling crossing is the first low sample") << QList<int>{0, 200, 200, 0, 0} << QList<int>{3};
    QTest::newRow("leading high run is skipped") << QList<int>{200, 200, 50, 200, 50, 0} << QList<int>{4};
    QTest::newRow("125 ends the leading skip") << QList<int>{200, 125, 0, 200, 0, 0} << QList<int>{2, 4};
    QTest::newRow("126 continues the leading skip") << QList<int>{200, 126, 0, 200, 0, 0} << QList<int>{4};
    QTest::newRow("125 alone is a pulse") << QList<int>{0, 125, 0, 0} << QList<int>{2};
    QTest::newRow("124 is not a pulse") << QList<int>{0, 124, 0, 0} << QList<int>{};
    QTest::newRow("crossing exactly at N is not counted") << QList<int>{0, 200, 0} << QList<int>{};
    QTest::newRow("run still high at N is not counted") << QList<int>{0, 200, 0, 200, 200} << QList<int>{2};
    QTest::newRow("negative readings are low") << QList<int>{-255, 130, -3, 255, -255, 0} << QList<int>{2, 4};
    QTest::newRow("all samples low") << QList<int>{0, 20, 124, 0} << QList<int>{};
    QTest::newRow("single sample") << QList<int>{0} << QList<int>{};
}

void TestSections::edgeScan()
{
    QFETCH(QList<int>, samples);
    QFETCH(QList<int>, edges);

    std::vector<std::int16_t> readings(samples.begin(), samples.end());
    // The zeros behind N would complete a pulse still high at N if the scan went past it.
    MeasurementState state = measured_state(readings, 1000);
    analysis::begin_graph(state, 1);
    analysis::analyse_sections(state);

    QCOMPARE(state.edge_count, static_cast<std::int32_t>(edges.size()) - 1);
    for (qsizetype j = 0; j < edges.size(); ++j)
        QCOMPARE(state.edge_index[static_cast<std::size_t>(j)], edges[j]);
}

void TestSections::pulses_data()
{
    QTest::addColumn<QList<int>>("samples");
    QTest::addColumn<QList<int>>("rising");  // -1: the light may have begun before the recording
    QTest::addColumn<QList<int>>("falling");

    // The light run of each pulse starts at its rising edge; the falling edges are those of the
    // edge scan, found by the same rule.
    QTest::newRow("worked example") << QList<int>(kWorkedExample.begin(), kWorkedExample.end()) << QList<int>{4, 8}
                                    << QList<int>{6, 9};
    QTest::newRow("125 ends the leading skip inside a pulse")
        << QList<int>{200, 125, 0, 200, 0, 0} << QList<int>{-1, 3} << QList<int>{2, 4};
    QTest::newRow("a recording that starts at the threshold")
        << QList<int>{125, 0, 200, 0, 0} << QList<int>{-1, 2} << QList<int>{1, 3};
    QTest::newRow("no pulse") << QList<int>{0, 20, 124, 0} << QList<int>{} << QList<int>{};
}

void TestSections::pulses()
{
    QFETCH(QList<int>, samples);
    QFETCH(QList<int>, rising);
    QFETCH(QList<int>, falling);

    const std::vector<std::int16_t> readings(samples.begin(), samples.end());
    const std::vector<analysis::Pulse> found
        = analysis::scan_pulses(readings, static_cast<std::int32_t>(readings.size()) - 1);
    QCOMPARE(static_cast<qsizetype>(found.size()), falling.size());
    for (qsizetype j = 0; j < falling.size(); ++j) {
        QCOMPARE(found[static_cast<std::size_t>(j)].rising, rising[j]);
        QCOMPARE(found[static_cast<std::size_t>(j)].falling, falling[j]);
    }
}

void TestSections::stamps_data()
{
    // At 1 ms the pulse_train's readings 2, 3, 6 and 7 are light. Stamps as +µs for a rise and -µs
    // for a fall; the pulses as rise-fall in µs, or "none" where the readings' own edges serve.
    QTest::addColumn<QString>("stamps");
    QTest::addColumn<QString>("pulses");
    QTest::addColumn<int>("flicker");

    QTest::newRow("every edge") << "+1500 -3500 +5500 -7500"
                                << "1500-3500 5500-7500" << 0;
    QTest::newRow("a fall before any rise, a rise at the end") << "-500 +1500 -3500 +5500"
                                                               << "1500-3500" << 0;
    QTest::newRow("light where the readings are dark") << "+1500 -3500 +3600 -5400 +5500 -7500"
                                                       << "1500-3500 5500-7500" << 2;
    // Only the readings a fifth of the light's time inside it judge it: here reading 4 (4000 µs).
    QTest::newRow("a reading a fifth from its start") << "+1500 -3500 +3750 -5000 +5500 -7500"
                                                      << "1500-3500 3750-5000 5500-7500" << 0;
    QTest::newRow("just inside") << "+1500 -3500 +3740 -5000 +5500 -7500"
                                 << "1500-3500 5500-7500" << 2;
    // And here reading 5 (5000 µs).
    QTest::newRow("a reading a fifth from its end") << "+1500 -3500 +3800 -5300 +5500 -7500"
                                                    << "1500-3500 3800-5300 5500-7500" << 0;
    QTest::newRow("just inside it") << "+1500 -3500 +3800 -5305 +5500 -7500"
                                    << "1500-3500 5500-7500" << 2;
    QTest::newRow("D8 silent") << ""
                               << "none" << 0;
    QTest::newRow("the last time a pulse holds") << "+1500 -2147483647"
                                                 << "1500-2147483647" << 0;
    QTest::newRow("just past it") << "+1500 -2147483648"
                                  << "none" << 0;
}

void TestSections::stamps()
{
    QFETCH(QString, stamps);
    QFETCH(QString, pulses);
    QFETCH(int, flicker);
    common::MeasurementState state;
    const std::vector<std::int16_t> train = pulse_train(2);
    std::copy(train.begin(), train.end(), state.samples.begin());
    state.last_sample = static_cast<std::int32_t>(train.size()) - 1;
    state.period_ms = 1;
    state.stamps.stamped = true;
    for (const QString &stamp : stamps.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        state.stamps.edges.push_back({stamp.mid(1).toLongLong(), stamp.startsWith(QLatin1Char('+'))});
    const std::optional<analysis::StampedPulses> stamped = analysis::stamped_pulses(state);
    QStringList words;
    if (stamped) {
        for (const analysis::Pulse &pulse : stamped->pulses)
            words << QStringLiteral("%1-%2").arg(pulse.rising).arg(pulse.falling);
    }
    QCOMPARE(stamped ? words.join(QLatin1Char(' ')) : QStringLiteral("none"), pulses);
    QCOMPARE(stamped ? static_cast<int>(stamped->flicker_us.size()) : 0, flicker);
}

void TestSections::sectionCount_data()
{
    QTest::addColumn<int>("pulses");  // complete pulses, each giving one edge
    QTest::addColumn<int>("holes");
    QTest::addColumn<int>("sections");
    QTest::addColumn<QList<int>>("boundaries");  // expected edge_index[0..sections]

    QTest::newRow("no edge, 1 hole: -1") << 0 << 1 << -1 << QList<int>{};
    QTest::newRow("no edge, 2 holes: 0") << 0 << 2 << 0 << QList<int>{};
    QTest::newRow("no edge, 10 holes: 0") << 0 << 10 << 0 << QList<int>{};
    QTest::newRow("1 edge, 1 hole: 0") << 1 << 1 << 0 << QList<int>{4};
    QTest::newRow("2 edges, 1 hole: 1") << 2 << 1 << 1 << QList<int>{4, 8};
    QTest::newRow("6 edges, 3 holes: 1") << 6 << 3 << 1 << QList<int>{4, 16};
    QTest::newRow("7 edges, 3 holes: 2") << 7 << 3 << 2 << QList<int>{4, 16, 28};
    QTest::newRow("8 edges, 3 holes: 2, the last opened section unfinished") << 8 << 3 << 2 << QList<int>{4, 16, 28};
    QTest::newRow("9 edges, 3 holes: 2") << 9 << 3 << 2 << QList<int>{4, 16, 28};
    QTest::newRow("10 edges, 3 holes: 3") << 10 << 3 << 3 << QList<int>{4, 16, 28, 40};
}

void TestSections::sectionCount()
{
    QFETCH(int, pulses);
    QFETCH(int, holes);
    QFETCH(int, sections);
    QFETCH(QList<int>, boundaries);

    MeasurementState state = measured_state(pulse_train(pulses), 1000);
    analysis::begin_graph(state, static_cast<std::int16_t>(holes));
    analysis::analyse_sections(state);

    QCOMPARE(state.edge_count, sections);
    for (qsizetype j = 0; j < boundaries.size(); ++j)
        QCOMPARE(state.edge_index[static_cast<std::size_t>(j)], boundaries[j]);
    // Every section spans `holes` pulses of 4 samples at 1000 samples/s.
    for (int k = 1; k <= sections; ++k) {
        QCOMPARE(state.sect_dt[static_cast<std::size_t>(k)], static_cast<float>(holes * 4 / 1000.0));
        QCOMPARE(state.sect_time[static_cast<std::size_t>(k)], static_cast<float>((k - 0.5) * holes * 4 / 1000.0));
    }
}

void TestSections::entriesBeyondTheWrittenOnesKeepTheirValues()
{
    MeasurementState state = measured_state(kWorkedExample, 10);
    std::fill(state.edge_index.begin(), state.edge_index.end(), 999);
    std::fill(state.sect_dt.begin(), state.sect_dt.end(), 9.0f);
    std::fill(state.sect_time.begin(), state.sect_time.end(), 9.0f);
    std::fill(state.sect_velocity.begin(), state.sect_velocity.end(), 9.0f);
    const std::size_t edge_table = state.edge_index.size();
    const std::size_t section_table = state.sect_time.size();

    analysis::begin_graph(state, 1);
    analysis::analyse_sections(state);

    QCOMPARE(state.edge_count, 1);
    QCOMPARE(state.edge_index[2], 999);
    QCOMPARE(state.edge_index.back(), 999);
    for (const std::vector<float> *table : {&state.sect_dt, &state.sect_time, &state.sect_velocity}) {
        QCOMPARE((*table)[0], 9.0f);
        QVERIFY((*table)[1] != 9.0f);
        QCOMPARE((*table)[2], 9.0f);
    }
    // Nothing shrinks.
    QCOMPARE(state.edge_index.size(), edge_table);
    QCOMPARE(state.sect_time.size(), section_table);
}

void TestSections::moreSectionsThanTheFixedTables()
{
    // Alternating dark and light samples over the whole sample table: an edge at every even
    // index from 2 to 99998 (the one at N = 100000 does not count), so 49999 edges and 49998
    // sections, far more than the 200 sections and 20001 boundaries the tables start with.
    std::vector<std::int16_t> samples(static_cast<std::size_t>(common::kSampleTableSize));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = i % 2 == 1 ? 230 : 20;
    MeasurementState state = measured_state(samples, 1000);
    analysis::begin_graph(state, 1);
    analysis::analyse_sections(state);

    const std::int32_t sections = 49998;
    QCOMPARE(state.edge_count, sections);
    QVERIFY(state.edge_index.size() > static_cast<std::size_t>(sections));
    QVERIFY(state.sect_dt.size() > static_cast<std::size_t>(sections));
    QVERIFY(state.sect_time.size() > static_cast<std::size_t>(sections));
    QVERIFY(state.sect_velocity.size() > static_cast<std::size_t>(sections));
    const float velocity = state.sect_velocity[1];
    QCOMPARE(velocity, static_cast<float>(1.2680000066757202 / static_cast<double>(0.002f)));
    for (std::int32_t k : {200, 201, 202, 20000, 20001, sections}) {
        const auto entry = static_cast<std::size_t>(k);
        QCOMPARE(state.edge_index[entry], 2 + 2 * k);
        QCOMPARE(state.sect_dt[entry], 0.002f);
        QCOMPARE(state.sect_velocity[entry], velocity);
        QCOMPARE(state.sect_time[entry], static_cast<float>((2 * k - 1) / 1000.0));
    }
}

void TestSections::scanStaysInsideTheSampleTable_data()
{
    QTest::addColumn<QList<int>>("table");  // the whole sample table, shorter than N
    QTest::addColumn<int>("last_sample");
    QTest::addColumn<int>("sections");

    // The scan ends at the table's last entry as if it were N.
    QTest::newRow("N beyond a short table") << QList<int>{0, 200, 0, 200, 0} << 100 << 0;
    QTest::newRow("N one past the table") << QList<int>{0, 200, 0, 200, 0, 0} << 6 << 1;
    QTest::newRow("empty table") << QList<int>{} << 12 << -1;
}

void TestSections::scanStaysInsideTheSampleTable()
{
    QFETCH(QList<int>, table);
    QFETCH(int, last_sample);
    QFETCH(int, sections);

    MeasurementState state;
    state.samples.assign(table.begin(), table.end());
    state.last_sample = last_sample;
    state.sample_rate = 1000;
    analysis::begin_graph(state, 1);
    analysis::analyse_sections(state);
    QCOMPARE(state.edge_count, sections);
}

void TestSections::holesBelowOneChangeNothing()
{
    for (const std::int16_t holes : {std::int16_t{0}, std::int16_t{-3}}) {
        MeasurementState state = measured_state(kWorkedExample, 10);
        state.edge_count = 12;
        state.edge_index[0] = 34;
        analysis::begin_graph(state, holes);
        analysis::analyse_sections(state);
        QCOMPARE(state.edge_count, 12);
        QCOMPARE(state.edge_index[0], 34);
    }
}

QTEST_GUILESS_MAIN(TestSections)
#include "tst_sections.moc"
