// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The graph command from samples to picture: the analysis of the worked example and its first
// drawing with the first-draw labels.

#include "analysis/sections.h"
#include "graph/draw_graph.h"

#include <QColor>
#include <QTest>

namespace {

const std::vector<std::int16_t> kWorkedExample = {200, 200, 50, 50, 130, 130, 50, 50, 125, 50, 50, 130, 40};

QColor pixel_at(graph::Surface &surface, int x, int y) { return surface.image().pixelColor(x, y); }

}  // namespace

class TestFirstDrawing : public QObject {
    Q_OBJECT

private slots:
    void workedExample_data();
    void workedExample();
};

void TestFirstDrawing::workedExample_data()
{
    QTest::addColumn<int>("holes");
    QTest::addColumn<int>("plotted_sections");
    QTest::addColumn<bool>("velocity_disc");    // blue disc of section 1 at (170, 383.026)
    QTest::addColumn<bool>("second_distance");  // red disc of boundary 1 at (290, 376.052)

    QTest::newRow("1 hole: one section") << 1 << 1 << true << true;
    QTest::newRow("2 holes: no section, no count left from before") << 2 << 0 << false << false;
}

void TestFirstDrawing::workedExample()
{
    QFETCH(int, holes);
    QFETCH(int, plotted_sections);
    QFETCH(bool, velocity_disc);
    QFETCH(bool, second_distance);

    common::MeasurementState state;
    std::copy(kWorkedExample.begin(), kWorkedExample.end(), state.samples.begin());
    state.last_sample = 12;
    state.sample_rate = 10;
    state.measured = true;
    state.plotted_sections = 42;

    analysis::begin_graph(state, static_cast<std::int16_t>(holes));
    analysis::analyse_sections(state);
    graph::Surface surface(660, 480);
    graph::draw_graph(surface, state, state.x_zoom, state.y_zoom, graph::LabelStyle::FirstDraw);

    QCOMPARE(state.plotted_sections, plotted_sections);
    const QColor blue(0, 0, 255);
    const QColor red(255, 0, 0);
    // Disc centres, rounded to the pixel the surface draws them around.
    QCOMPARE(pixel_at(surface, 170, 383) == blue, velocity_disc);
    QCOMPARE(pixel_at(surface, 50, 390), red);
    QCOMPARE(pixel_at(surface, 290, 376) == red, second_distance);
    // Nothing is drawn past the boundaries of the analysis.
    QCOMPARE(pixel_at(surface, 345, 370), QColor(Qt::white));
}

QTEST_MAIN(TestFirstDrawing)
#include "tst_first_drawing.moc"
