// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The motion graph as painted: plot box, grid, discs with their stop test, and what the drawing
// records in the measurement state. Pixel checks stay away from the label texts, whose look
// depends on the fonts installed.

#include "graph/draw_graph.h"

#include <QColor>
#include <QFontMetrics>
#include <QList>
#include <QPointF>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kWhite(255, 255, 255);

struct Section {
    float time;      // s
    float velocity;  // cm/s
};

// A state with the given sections at entries 1.. of fresh tables, no distance discs (no sample
// rate) unless the test sets them up, and plotted_sections at 99 to show whether it changes.
common::MeasurementState sections_state(const QList<Section> &sections)
{
    common::MeasurementState state;
    for (qsizetype i = 0; i < sections.size(); ++i) {
        state.sect_time[static_cast<std::size_t>(i + 1)] = sections[i].time;
        state.sect_velocity[static_cast<std::size_t>(i + 1)] = sections[i].velocity;
    }
    state.edge_count = static_cast<std::int32_t>(sections.size());
    state.plotted_sections = 99;
    return state;
}

// The colour of the pixel a disc around (x, y) is centred on.
QColor centre_colour(graph::Surface &surface, QPointF centre)
{
    return surface.image().pixelColor(
        static_cast<int>(std::lround(centre.x())), static_cast<int>(std::lround(centre.y())));
}

QPointF velocity_centre(Section s) { return {50 + 800.0 * s.time, 390 - s.velocity * 33.0 / 20}; }

}  // namespace

Q_DECLARE_METATYPE(Section)

class TestDrawGraph : public QObject {
    Q_OBJECT

private slots:
    void zoom_bounds_data();
    void zoom_bounds();
    void velocityDiscs_data();
    void velocityDiscs();
    void sectionsBeyondTheTables();
    void distanceDiscs_data();
    void distanceDiscs();
    void boxAndGrid();
    void redrawReplacesThePicture();
    void leavesTheDrawingState_data();
    void leavesTheDrawingState();
};

void TestDrawGraph::velocityDiscs_data()
{
    QTest::addColumn<QList<Section>>("sections");
    QTest::addColumn<float>("x_scale");
    QTest::addColumn<float>("y_scale");
    QTest::addColumn<int>("plotted");  // expected plotted_sections; 99 is the value before

    QTest::newRow("all inside") << QList<Section>{{0.1f, 50}, {0.2f, 60}, {0.3f, 70}} << 1.0f << 1.0f << 3;
    QTest::newRow("x exactly 610 is drawn") << QList<Section>{{0.1f, 50}, {0.7f, 50}} << 1.0f << 1.0f << 2;
    QTest::newRow("x beyond 610 ends the plot")
        << QList<Section>{{0.1f, 50}, {0.71f, 50}, {0.2f, 60}} << 1.0f << 1.0f << 1;
    QTest::newRow("y exactly 60 is drawn") << QList<Section>{{0.1f, 50}, {0.2f, 200}} << 1.0f << 1.0f << 2;
    QTest::newRow("y above 60 ends the plot")
        << QList<Section>{{0.1f, 50}, {0.2f, 200.1f}, {0.3f, 50}} << 1.0f << 1.0f << 1;
    // A drawing without a point in the box leaves none for the fit, whatever an earlier one had.
    QTest::newRow("first point outside leaves no count") << QList<Section>{{0.8f, 50}, {0.1f, 50}} << 1.0f << 1.0f << 0;
    QTest::newRow("no sections leave no count") << QList<Section>{} << 1.0f << 1.0f << 0;
    QTest::newRow("left and bottom edges do not end the plot")
        << QList<Section>{{-0.01f, 50}, {0.1f, -10}, {0.2f, 60}} << 1.0f << 1.0f << 3;
    QTest::newRow("horizontal enlargement pushes points out")
        << QList<Section>{{0.1f, 50}, {0.3f, 60}, {0.4f, 70}} << 2.0f << 1.0f << 2;
    QTest::newRow("vertical enlargement pushes points out")
        << QList<Section>{{0.1f, 50}, {0.2f, 90}, {0.3f, 110}} << 1.0f << 2.0f << 2;
    QTest::newRow("reduction brings points in")
        << QList<Section>{{0.1f, 50}, {0.9f, 300}, {1.3f, 390}} << 0.5f << 0.5f << 3;
}

void TestDrawGraph::velocityDiscs()
{
    QFETCH(QList<Section>, sections);
    QFETCH(float, x_scale);
    QFETCH(float, y_scale);
    QFETCH(int, plotted);

    common::MeasurementState state = sections_state(sections);
    graph::Surface surface(660, 480);
    graph::draw_graph(surface, state, x_scale, y_scale);

    QCOMPARE(state.plotted_sections, plotted);
    const int drawn = plotted == 99 ? 0 : plotted;
    for (qsizetype i = 0; i < sections.size(); ++i) {
        const Section s = sections[i];
        const QPointF centre(50 + 800.0 * s.time * x_scale, 390 - s.velocity * 33.0 / 20 * y_scale);
        if (!surface.image().rect().contains(centre.toPoint()))
            continue;
        QCOMPARE(centre_colour(surface, centre) == kBlue, i < drawn);
    }
}

void TestDrawGraph::sectionsBeyondTheTables()
{
    // A section count beyond the tables draws the sections that are there and stops.
    common::MeasurementState state = sections_state({{0.1f, 50}, {0.2f, 60}});
    state.sect_time.resize(3);
    state.sect_velocity.resize(5);
    state.edge_count = 1000;
    state.edge_index.assign(2, 0);
    state.sample_rate = 1000;
    state.section_length = 1.268f;
    graph::Surface surface(660, 480);
    graph::draw_graph(surface, state, 1.0f, 1.0f);
    QCOMPARE(state.plotted_sections, 2);
    QCOMPARE(centre_colour(surface, velocity_centre({0.2f, 60})), kBlue);
    // Both boundaries in the table lie at time 0: the second disc is 1.268 cm above the first.
    QCOMPARE(centre_colour(surface, {50, 390 - 1.268 * 11}), kRed);
}

void TestDrawGraph::distanceDiscs_data()
{
    QTest::addColumn<float>("sample_rate");
    QTest::addColumn<float>("section_length");
    QTest::addColumn<QList<int>>("boundaries");  // edge_index[0..edge_count]
    QTest::addColumn<QList<QPointF>>("drawn");   // disc centres that must be red
    QTest::addColumn<QList<QPointF>>("absent");  // centres that must stay white
    QTest::addColumn<int>("on_time_axis");       // the last boundary within the time axis

    const float five_holes = 6.340000152587891f;
    // Boundaries 0.1 s apart at 1000 samples/s: 80 pixels apart.
    const QList<int> every_tenth{100, 200, 300, 400, 500, 600, 700};
    QTest::newRow("5 holes: the plot ends at k = 5 above the box")
        << 1000.0f << five_holes << every_tenth
        << QList<QPointF>{{50, 390}, {130, 320.26}, {210, 250.52}, {290, 180.78}, {370, 111.04}}
        << QList<QPointF>{{450, 41.3}} << 6;
    QTest::newRow("time beyond 0.7 s ends the plot, later points too")
        << 100.0f << 1.268f << QList<int>{10, 40, 70, 85, 76}
        << QList<QPointF>{{50, 390}, {290, 376.052}, {530, 362.104}} << QList<QPointF>{{650, 348.156}, {578, 334.208}}
        << 2;
    QTest::newRow("boundary exactly at 0.7 s is drawn")
        << 1000.0f << 1.268f << QList<int>{0, 700} << QList<QPointF>{{50, 390}, {610, 376.052}} << QList<QPointF>{}
        << 1;
    QTest::newRow("boundary just past 0.7 s is not")
        << 1000.0f << 1.268f << QList<int>{0, 701} << QList<QPointF>{{50, 390}} << QList<QPointF>{{611, 376.052}} << 0;
    QTest::newRow("no sections: one disc at the origin")
        << 1000.0f << 1.268f << QList<int>{123} << QList<QPointF>{{50, 390}} << QList<QPointF>{} << 0;
    QTest::newRow("zero sample rate: no distance discs")
        << 0.0f << 1.268f << QList<int>{0, 300} << QList<QPointF>{} << QList<QPointF>{{52, 388}, {292, 374}} << 0;
    QTest::newRow("negative sample rate: no distance discs")
        << -10.0f << 1.268f << QList<int>{0, 300} << QList<QPointF>{} << QList<QPointF>{{52, 388}} << 0;
    QTest::newRow("not-a-number sample rate: no distance discs")
        << std::numeric_limits<float>::quiet_NaN() << 1.268f << QList<int>{0, 300} << QList<QPointF>{}
        << QList<QPointF>{{52, 388}} << 0;
}

void TestDrawGraph::distanceDiscs()
{
    QFETCH(float, sample_rate);
    QFETCH(float, section_length);
    QFETCH(QList<int>, boundaries);
    QFETCH(QList<QPointF>, drawn);
    QFETCH(QList<QPointF>, absent);
    QFETCH(int, on_time_axis);

    common::MeasurementState state;
    state.sample_rate = sample_rate;
    state.section_length = section_length;
    for (qsizetype k = 0; k < boundaries.size(); ++k)
        state.edge_index[static_cast<std::size_t>(k)] = boundaries[k];
    state.edge_count = static_cast<std::int32_t>(boundaries.size()) - 1;
    // Velocity points outside the box from the first: no blue disc covers a red one.
    std::fill(state.sect_time.begin(), state.sect_time.end(), 5.0f);

    graph::Surface surface(660, 480);
    graph::draw_graph(surface, state, 1.0f, 1.0f);
    for (const QPointF &centre : drawn)
        QCOMPARE(centre_colour(surface, centre), kRed);
    for (const QPointF &centre : absent)
        QCOMPARE(centre_colour(surface, centre), kWhite);
    QCOMPARE(graph::boundaries_on_time_axis(state, 1.0f), on_time_axis);
}

void TestDrawGraph::boxAndGrid()
{
    common::MeasurementState state;
    state.edge_count = -1;
    graph::Surface surface(660, 480);
    graph::draw_graph(surface, state, 1.0f, 1.0f);
    const QImage &image = surface.image();

    // The outline is solid. The velocity labels may reach over the left edge, so it is checked on
    // the other three, away from the corners where labels stand.
    for (int x = 100; x <= 600; ++x) {
        QCOMPARE(image.pixelColor(x, 60), QColor(Qt::black));
        QCOMPARE(image.pixelColor(x, 390), QColor(Qt::black));
    }
    for (int y = 70; y <= 380; ++y)
        QCOMPARE(image.pixelColor(610, y), QColor(Qt::black));
    // Grid lines inside are dotted: some of their pixels black, some white; between them nothing.
    auto black_pixels = [&](int x0, int y0, int dx, int dy, int count) {
        int black = 0;
        for (int i = 0; i < count; ++i)
            black += image.pixelColor(x0 + dx * i, y0 + dy * i) == QColor(Qt::black) ? 1 : 0;
        return black;
    };
    for (int i = 1; i < 14; ++i) {
        const int black = black_pixels(50 + 40 * i, 62, 0, 1, 30);  // between the first two horizontals
        QVERIFY2(black > 0 && black < 30, qPrintable(QStringLiteral("vertical %1: %2 of 30").arg(i).arg(black)));
    }
    for (int j = 1; j < 10; ++j) {
        const int black = black_pixels(92, 60 + 33 * j, 1, 0, 36);  // between the second and third verticals
        QVERIFY2(black > 0 && black < 36, qPrintable(QStringLiteral("horizontal %1: %2 of 36").arg(j).arg(black)));
    }
    QCOMPARE(black_pixels(70, 62, 0, 1, 30), 0);
    QCOMPARE(black_pixels(92, 75, 1, 0, 36), 0);
}

void TestDrawGraph::redrawReplacesThePicture()
{
    common::MeasurementState state = sections_state({{0.11f, 50}});
    graph::Surface surface(660, 480);
    graph::draw_graph(surface, state, 1.0f, 1.0f);
    QCOMPARE(centre_colour(surface, velocity_centre({0.11f, 50})), kBlue);
    graph::draw_graph(surface, state, 2.0f, 1.0f);
    QCOMPARE(centre_colour(surface, velocity_centre({0.11f, 50})), kWhite);
    QCOMPARE(centre_colour(surface, {226, 307.5}), kBlue);
}

void TestDrawGraph::leavesTheDrawingState_data()
{
    QTest::addColumn<int>("edge_count");
    QTest::newRow("with points") << 2;
    QTest::newRow("no points at all") << -1;
}

void TestDrawGraph::leavesTheDrawingState()
{
    QFETCH(int, edge_count);
    common::MeasurementState state = sections_state({{0.1f, 50}, {0.2f, 60}});
    state.edge_count = edge_count;
    state.sample_rate = 100;
    graph::Surface surface(660, 480);
    surface.set_text_colour(common::kBlack);
    surface.set_line_style(graph::LineStyle::Dotted);
    graph::draw_graph(surface, state, 1.0f, 1.0f);
    QCOMPARE(surface.line_style(), graph::LineStyle::Solid);
    QCOMPARE(surface.fill_style(), graph::FillStyle::Solid);
    QCOMPARE(surface.fill_colour(), common::kBrightRed);
    QCOMPARE(surface.text_colour(), common::kBrightRed);
}

void TestDrawGraph::zoom_bounds_data()
{
    QTest::addColumn<float>("x_scale");
    QTest::addColumn<float>("y_scale");
    QTest::addColumn<bool>("meaningful");  // neighbouring labels differ and every label fits

    QTest::newRow("largest horizontal zoom") << graph::kLargestXZoom << 1.0f << true;
    QTest::newRow("one step beyond it") << 2 * graph::kLargestXZoom << 1.0f << false;
    QTest::newRow("smallest horizontal zoom") << graph::kSmallestXZoom << 1.0f << true;
    QTest::newRow("largest vertical zoom") << 1.0f << graph::kLargestYZoom << true;
    QTest::newRow("one step beyond it") << 1.0f << 2 * graph::kLargestYZoom << false;
    QTest::newRow("smallest vertical zoom") << 1.0f << graph::kSmallestYZoom << true;
    QTest::newRow("one step below it") << 1.0f << graph::kSmallestYZoom / 2 << false;
}

void TestDrawGraph::zoom_bounds()
{
    QFETCH(float, x_scale);
    QFETCH(float, y_scale);
    QFETCH(bool, meaningful);

    const std::vector<graph::TickLabel> labels = graph::tick_labels(graph::LabelStyle::Zoomed, x_scale, y_scale);
    const QFontMetrics metrics(graph::picture_font());
    bool distinct = true;
    bool fits = true;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        // Time labels 0..7, velocity 8..18, distance 19..29: each axis against its own neighbours.
        if (i != 0 && i != 8 && i != 19)
            distinct = distinct && labels[i].text != labels[i - 1].text;
        const double right = labels[i].x + metrics.horizontalAdvance(QString::fromStdString(labels[i].text));
        // Velocity labels may reach as far into the box as the widest of scale 1 does (200.00);
        // the others must end inside the picture.
        const double room = (i >= 8 && i < 19) ? 15 + metrics.horizontalAdvance(QStringLiteral("200.00")) : 660;
        fits = fits && right <= room;
    }
    QCOMPARE(distinct && fits, meaningful);
}

QTEST_MAIN(TestDrawGraph)
#include "tst_draw_graph.moc"
