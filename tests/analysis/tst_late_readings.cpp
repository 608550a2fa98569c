// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The sections and the edges that readings which came late spoil, at each limit.

#include "analysis/late_readings.h"

#include <QTest>

#include <memory>

namespace {

using Spans = QList<int>;  // first, last, first, last, ...

std::vector<common::ReadingSpan> spans_of(const Spans &bounds)
{
    std::vector<common::ReadingSpan> spans;
    for (qsizetype i = 0; i + 1 < bounds.size(); i += 2)
        spans.push_back({bounds[i], bounds[i + 1]});
    return spans;
}

Spans bounds_of(const std::vector<common::ReadingSpan> &spans)
{
    Spans bounds;
    for (const common::ReadingSpan &span : spans)
        bounds << span.first << span.last;
    return bounds;
}

}  // namespace

class TestLateReadings : public QObject {
    Q_OBJECT

private slots:
    void spoiled_sections_data();
    void spoiled_sections();
    void unsure_readings_data();
    void unsure_readings();
    void edges_on_unsure_readings_data();
    void edges_on_unsure_readings();
};

void TestLateReadings::spoiled_sections_data()
{
    QTest::addColumn<Spans>("late");
    QTest::addColumn<QList<int>>("spoiled");

    // Three sections between the edges on readings 100, 110, 120 and 130: section 2 opens on
    // reading 110 and closes on 120. A late reading makes the one before it unsure too.
    QTest::newRow("none late") << Spans{} << QList<int>{};
    QTest::newRow("inside section 2") << Spans{115, 115} << QList<int>{2};
    QTest::newRow("on the opening edge, which section 1 closes") << Spans{110, 110} << QList<int>{1, 2};
    QTest::newRow("just after the opening edge, which section 1 closes") << Spans{111, 111} << QList<int>{1, 2};
    QTest::newRow("just before the opening edge") << Spans{109, 109} << QList<int>{1};
    QTest::newRow("on the closing edge, which section 3 opens") << Spans{120, 120} << QList<int>{2, 3};
    QTest::newRow("just after the closing edge") << Spans{121, 121} << QList<int>{2, 3};
    QTest::newRow("two after the closing edge") << Spans{122, 122} << QList<int>{3};
    QTest::newRow("just before the first counted edge") << Spans{99, 99} << QList<int>{};
    QTest::newRow("on the first counted edge") << Spans{100, 100} << QList<int>{1};
    QTest::newRow("just after the last edge") << Spans{131, 131} << QList<int>{3};
    QTest::newRow("two after the last edge") << Spans{132, 132} << QList<int>{};
    QTest::newRow("reading 0") << Spans{0, 0} << QList<int>{};
    QTest::newRow("a pause across an edge") << Spans{108, 112} << QList<int>{1, 2};
    QTest::newRow("two pauses") << Spans{105, 105, 125, 127} << QList<int>{1, 3};
    QTest::newRow("a pause over the whole run") << Spans{0, 200} << QList<int>{1, 2, 3};
}

void TestLateReadings::spoiled_sections()
{
    QFETCH(Spans, late);
    QFETCH(QList<int>, spoiled);

    auto tables = std::make_unique<common::SectionTables>();
    tables->edge_count = 3;
    for (std::size_t j = 0; j <= 3; ++j)
        tables->edge_index[j] = 100 + 10 * static_cast<std::int32_t>(j);
    const std::vector<std::int32_t> found = analysis::spoiled_sections(*tables, spans_of(late));
    QCOMPARE(QList<int>(found.begin(), found.end()), spoiled);
}

void TestLateReadings::unsure_readings_data()
{
    QTest::addColumn<Spans>("late");
    QTest::addColumn<Spans>("unsure");

    QTest::newRow("one reading") << Spans{5, 5} << Spans{4, 5};
    QTest::newRow("reading 0 has none before it") << Spans{0, 2} << Spans{0, 2};
    QTest::newRow("apart by two readings") << Spans{5, 7, 10, 10} << Spans{4, 7, 9, 10};
    // The reading before the second span is the one after the first: they join.
    QTest::newRow("apart by one reading") << Spans{5, 7, 9, 10} << Spans{4, 10};
}

void TestLateReadings::unsure_readings()
{
    QFETCH(Spans, late);
    QFETCH(Spans, unsure);

    QCOMPARE(bounds_of(analysis::unsure_readings(spans_of(late))), unsure);
}

void TestLateReadings::edges_on_unsure_readings_data()
{
    QTest::addColumn<double>("edge");
    QTest::addColumn<bool>("unsure");

    // Readings 10..12 unsure.
    QTest::newRow("the reading before") << 9.0 << false;
    QTest::newRow("between the reading before and the first") << 9.5 << true;
    QTest::newRow("the first") << 10.0 << true;
    QTest::newRow("the last") << 12.0 << true;
    QTest::newRow("between the last and the reading after") << 12.5 << true;
    QTest::newRow("the reading after") << 13.0 << false;
}

void TestLateReadings::edges_on_unsure_readings()
{
    QFETCH(double, edge);
    QFETCH(bool, unsure);

    QCOMPARE(analysis::on_unsure_reading({{10, 12}}, edge), unsure);
}

QTEST_GUILESS_MAIN(TestLateReadings)
#include "tst_late_readings.moc"
