// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Tick labels and point positions of the motion graph, without painting.

#include "graph/graph_layout.h"

#include <QStringList>
#include <QTest>

#include <cmath>
#include <limits>
#include <tuple>

using graph::LabelStyle;

Q_DECLARE_METATYPE(graph::LabelStyle)

namespace {

enum class Axis { Time, Velocity, Distance };

// The labels of one axis, as the drawing order places them: 8 time, 11 velocity, 11 distance.
std::vector<graph::TickLabel> axis_labels(const std::vector<graph::TickLabel> &all, Axis axis)
{
    switch (axis) {
    case Axis::Time:
        return {all.begin(), all.begin() + 8};
    case Axis::Velocity:
        return {all.begin() + 8, all.begin() + 19};
    case Axis::Distance:
        return {all.begin() + 19, all.end()};
    }
    return {};
}

}  // namespace

Q_DECLARE_METATYPE(Axis)

class TestGraphLayout : public QObject {
    Q_OBJECT

private slots:
    void labelTexts_data();
    void labelTexts();
    void labelPlaces_data();
    void labelPlaces();

    void velocityDisc_data();
    void velocityDisc();
    void distanceDisc_data();
    void distanceDisc();
    void insidePlot_data();
    void insidePlot();
};

void TestGraphLayout::labelTexts_data()
{
    QTest::addColumn<LabelStyle>("style");
    QTest::addColumn<float>("x_scale");
    QTest::addColumn<float>("y_scale");
    QTest::addColumn<Axis>("axis");
    QTest::addColumn<QStringList>("texts");  // left to right, or bottom to top

    const auto z = LabelStyle::Zoomed;
    const auto f = LabelStyle::FirstDraw;
    QTest::newRow("zoomed time at scale 1")
        << z << 1.0f << 1.0f << Axis::Time
        << QStringList{"0.000", "0.100", "0.200", "0.300", "0.400", "0.500", "0.600", "0.700"};
    QTest::newRow("zoomed velocity at scale 1") << z << 1.0f << 1.0f << Axis::Velocity
                                                << QStringList{"0.00", "20.00", "40.00", "60.00", "80.00", "100.00",
                                                       "120.00", "140.00", "160.00", "180.00", "200.00"};
    QTest::newRow("zoomed distance at scale 1")
        << z << 1.0f << 1.0f << Axis::Distance
        << QStringList{"0.00", "3.00", "6.00", "9.00", "12.00", "15.00", "18.00", "21.00", "24.00", "27.00", "30.00"};
    QTest::newRow("time after one horizontal enlargement")
        << z << 2.0f << 1.0f << Axis::Time
        << QStringList{"0.000", "0.050", "0.100", "0.150", "0.200", "0.250", "0.300", "0.350"};
    QTest::newRow("time after one horizontal reduction")
        << z << 0.5f << 1.0f << Axis::Time
        << QStringList{"0.000", "0.200", "0.400", "0.600", "0.800", "1.000", "1.200", "1.400"};
    QTest::newRow("time after four enlargements rounds to thousandths")
        << z << 16.0f << 1.0f << Axis::Time
        << QStringList{"0.000", "0.006", "0.013", "0.019", "0.025", "0.031", "0.038", "0.044"};
    QTest::newRow("vertical scale does not change the time")
        << z << 1.0f << 4.0f << Axis::Time
        << QStringList{"0.000", "0.100", "0.200", "0.300", "0.400", "0.500", "0.600", "0.700"};
    QTest::newRow("velocity after one vertical reduction")
        << z << 1.0f << 0.5f << Axis::Velocity
        << QStringList{"0.00", "40.00", "80.00", "120.00", "160.00", "200.00", "240.00", "280.00", "320.00", "360.00",
               "400.00"};
    QTest::newRow("distance after one vertical reduction")
        << z << 1.0f << 0.5f << Axis::Distance
        << QStringList{"0.00", "6.00", "12.00", "18.00", "24.00", "30.00", "36.00", "42.00", "48.00", "54.00", "60.00"};
    QTest::newRow("distance after three vertical enlargements")
        << z << 1.0f << 8.0f << Axis::Distance
        << QStringList{"0.00", "0.38", "0.75", "1.13", "1.50", "1.88", "2.25", "2.63", "3.00", "3.38", "3.75"};
    QTest::newRow("first-draw time") << f << 1.0f << 1.0f << Axis::Time
                                     << QStringList{"0.0", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7"};
    QTest::newRow("first-draw velocity") << f << 1.0f << 1.0f << Axis::Velocity
                                         << QStringList{
                                                "", "20", "40", "60", "80", "100", "120", "140", "160", "180", "200"};
    QTest::newRow("first-draw distance") << f << 1.0f << 1.0f << Axis::Distance
                                         << QStringList{"", "3", "6", "9", "12", "15", "18", "21", "24", "27", "30"};
    QTest::newRow("first-draw labels ignore the scales")
        << f << 2.0f << 0.5f << Axis::Velocity
        << QStringList{"", "20", "40", "60", "80", "100", "120", "140", "160", "180", "200"};
}

void TestGraphLayout::labelTexts()
{
    QFETCH(LabelStyle, style);
    QFETCH(float, x_scale);
    QFETCH(float, y_scale);
    QFETCH(Axis, axis);
    QFETCH(QStringList, texts);

    const std::vector<graph::TickLabel> all = graph::tick_labels(style, x_scale, y_scale);
    QCOMPARE(all.size(), std::size_t{30});
    QStringList actual;
    for (const graph::TickLabel &label : axis_labels(all, axis))
        actual << QString::fromStdString(label.text);
    QCOMPARE(actual, texts);
}

void TestGraphLayout::labelPlaces_data()
{
    QTest::addColumn<LabelStyle>("style");
    QTest::addColumn<Axis>("axis");
    QTest::addColumn<double>("first_x");
    QTest::addColumn<double>("first_y");
    QTest::addColumn<double>("step_x");  // from one tick to the next
    QTest::addColumn<double>("step_y");
    QTest::addColumn<int>("colour");

    for (const auto &[name, style, velocity_x] :
        {std::tuple{"zoomed", LabelStyle::Zoomed, 15.0}, std::tuple{"first-draw", LabelStyle::FirstDraw, 26.0}}) {
        QTest::addRow("%s time", name) << style << Axis::Time << 44.0 << 400.0 << 80.0 << 0.0 << 0;
        QTest::addRow("%s velocity", name) << style << Axis::Velocity << velocity_x << 385.0 << 0.0 << -33.0 << 9;
        QTest::addRow("%s distance", name) << style << Axis::Distance << 615.0 << 385.0 << 0.0 << -33.0 << 12;
    }
}

void TestGraphLayout::labelPlaces()
{
    QFETCH(LabelStyle, style);
    QFETCH(Axis, axis);
    QFETCH(double, first_x);
    QFETCH(double, first_y);
    QFETCH(double, step_x);
    QFETCH(double, step_y);
    QFETCH(int, colour);

    const std::vector<graph::TickLabel> labels = axis_labels(graph::tick_labels(style, 2.0f, 0.5f), axis);
    for (std::size_t i = 0; i < labels.size(); ++i) {
        QCOMPARE(labels[i].x, first_x + step_x * static_cast<double>(i));
        QCOMPARE(labels[i].y, first_y + step_y * static_cast<double>(i));
        QCOMPARE(labels[i].colour, colour);
    }
}

void TestGraphLayout::velocityDisc_data()
{
    QTest::addColumn<float>("sect_time");
    QTest::addColumn<float>("velocity");
    QTest::addColumn<float>("x_scale");
    QTest::addColumn<float>("y_scale");
    QTest::addColumn<float>("x");
    QTest::addColumn<float>("y");
    QTest::addColumn<float>("tolerance");

    // Exact rows: the float result is the rounded value, whatever residue 0.15f or 0.35f carry.
    QTest::newRow("0.35 s at 50 cm/s") << 0.35f << 50.0f << 1.0f << 1.0f << 330.0f << 307.5f << 0.0f;
    QTest::newRow("0.7 s on the right edge") << 0.7f << 100.0f << 1.0f << 1.0f << 610.0f << 225.0f << 0.0f;
    QTest::newRow("200 cm/s on the top edge") << 0.1f << 200.0f << 1.0f << 1.0f << 130.0f << 60.0f << 0.0f;
    QTest::newRow("horizontal enlargement doubles the time")
        << 0.35f << 50.0f << 2.0f << 1.0f << 610.0f << 307.5f << 0.0f;
    QTest::newRow("vertical enlargement doubles the velocity")
        << 0.35f << 50.0f << 1.0f << 2.0f << 330.0f << 225.0f << 0.0f;
    QTest::newRow("negative velocity below the box") << 0.0f << -20.0f << 1.0f << 1.0f << 50.0f << 423.0f << 0.0f;
    // The worked example of the graph command, given to three decimals.
    QTest::newRow("worked example") << 0.15f << 4.226666450500488f << 1.0f << 1.0f << 170.0f << 383.026f << 5e-4f;
}

void TestGraphLayout::velocityDisc()
{
    QFETCH(float, sect_time);
    QFETCH(float, velocity);
    QFETCH(float, x_scale);
    QFETCH(float, y_scale);
    QFETCH(float, x);
    QFETCH(float, y);
    QFETCH(float, tolerance);

    const float actual_x = graph::velocity_disc_x(sect_time, x_scale);
    const float actual_y = graph::velocity_disc_y(velocity, y_scale);
    if (tolerance == 0) {
        QCOMPARE(actual_x, x);
        QCOMPARE(actual_y, y);
    } else {
        QVERIFY2(std::fabs(actual_x - x) <= tolerance, qPrintable(QString::number(actual_x, 'f', 6)));
        QVERIFY2(std::fabs(actual_y - y) <= tolerance, qPrintable(QString::number(actual_y, 'f', 6)));
    }
}

void TestGraphLayout::distanceDisc_data()
{
    QTest::addColumn<int>("index_difference");
    QTest::addColumn<float>("sample_rate");
    QTest::addColumn<int>("k");
    QTest::addColumn<float>("section_length");
    QTest::addColumn<float>("x_scale");
    QTest::addColumn<float>("y_scale");
    QTest::addColumn<float>("x");
    QTest::addColumn<float>("y");
    QTest::addColumn<float>("tolerance");

    const float one_hole = 1.2680000066757202f;
    const float five_holes = 6.340000152587891f;
    QTest::newRow("boundary 0 at the origin") << 0 << 10.0f << 0 << one_hole << 1.0f << 1.0f << 50.0f << 390.0f << 0.0f;
    // Given to three decimals: 390 - 1.268 x 11.
    QTest::newRow("worked example boundary 1")
        << 3 << 10.0f << 1 << one_hole << 1.0f << 1.0f << 290.0f << 376.052f << 5e-4f;
    QTest::newRow("horizontal enlargement") << 3 << 10.0f << 0 << one_hole << 2.0f << 1.0f << 530.0f << 390.0f << 0.0f;
    QTest::newRow("0.7 s on the right edge")
        << 700 << 1000.0f << 0 << one_hole << 1.0f << 1.0f << 610.0f << 390.0f << 0.0f;
    // Five holes a section, given to two decimals.
    QTest::newRow("5 holes, k = 1") << 0 << 10.0f << 1 << five_holes << 1.0f << 1.0f << 50.0f << 320.26f << 0.005f;
    QTest::newRow("5 holes, k = 2") << 0 << 10.0f << 2 << five_holes << 1.0f << 1.0f << 50.0f << 250.52f << 0.005f;
    QTest::newRow("5 holes, k = 3") << 0 << 10.0f << 3 << five_holes << 1.0f << 1.0f << 50.0f << 180.78f << 0.005f;
    QTest::newRow("5 holes, k = 4") << 0 << 10.0f << 4 << five_holes << 1.0f << 1.0f << 50.0f << 111.04f << 0.005f;
    QTest::newRow("5 holes, k = 5 above the box")
        << 0 << 10.0f << 5 << five_holes << 1.0f << 1.0f << 50.0f << 41.3f << 0.005f;
    QTest::newRow("vertical reduction") << 0 << 10.0f << 5 << five_holes << 1.0f << 0.5f << 50.0f << 215.65f << 0.005f;
}

void TestGraphLayout::distanceDisc()
{
    QFETCH(int, index_difference);
    QFETCH(float, sample_rate);
    QFETCH(int, k);
    QFETCH(float, section_length);
    QFETCH(float, x_scale);
    QFETCH(float, y_scale);
    QFETCH(float, x);
    QFETCH(float, y);
    QFETCH(float, tolerance);

    const float actual_x = graph::distance_disc_x(index_difference, sample_rate, x_scale);
    const float actual_y = graph::distance_disc_y(k, section_length, y_scale);
    if (tolerance == 0) {
        QCOMPARE(actual_x, x);
        QCOMPARE(actual_y, y);
    } else {
        QVERIFY2(std::fabs(actual_x - x) <= tolerance, qPrintable(QString::number(actual_x, 'f', 6)));
        QVERIFY2(std::fabs(actual_y - y) <= tolerance, qPrintable(QString::number(actual_y, 'f', 6)));
    }
}

void TestGraphLayout::insidePlot_data()
{
    QTest::addColumn<float>("x");
    QTest::addColumn<float>("y");
    QTest::addColumn<bool>("inside");

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    QTest::newRow("middle of the box") << 330.0f << 225.0f << true;
    QTest::newRow("top-right corner") << 610.0f << 60.0f << true;
    QTest::newRow("just right of the box") << std::nextafter(610.0f, 700.0f) << 225.0f << false;
    QTest::newRow("just above the box") << 330.0f << std::nextafter(60.0f, 0.0f) << false;
    QTest::newRow("left of the box does not count") << -500.0f << 225.0f << true;
    QTest::newRow("below the box does not count") << 330.0f << 5000.0f << true;
    QTest::newRow("not-a-number x") << nan << 225.0f << false;
    QTest::newRow("not-a-number y") << 330.0f << nan << false;
    QTest::newRow("infinitely far right") << inf << 225.0f << false;
    QTest::newRow("infinitely far up") << 330.0f << -inf << false;
}

void TestGraphLayout::insidePlot()
{
    QFETCH(float, x);
    QFETCH(float, y);
    QFETCH(bool, inside);
    QCOMPARE(graph::inside_plot(x, y), inside);
}

QTEST_GUILESS_MAIN(TestGraphLayout)
#include "tst_graph_layout.moc"
