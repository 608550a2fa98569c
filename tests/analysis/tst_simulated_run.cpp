// A whole run on the simulated converter: one second recorded at 1 ms through the converter
// protocol, then the analysis, the first drawing and the fit, checked against the cart's motion.

#include "acquisition/measurement.h"
#include "analysis/least_squares.h"
#include "analysis/sections.h"
#include "converter/converter.h"
#include "converter/simulated_converter.h"
#include "fake_loop_host.h"
#include "graph/draw_graph.h"

#include <QColor>
#include <QTest>

#include <cmath>
#include <memory>

using test_support::FakeLoopHost;

class TestSimulatedRun : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void edgesFollowTheHoles();
    void sectionsFollowTheCart();
    void drawingStopsAtTheBox();
    void fitFindsTheAcceleration();

private:
    std::unique_ptr<FakeLoopHost> host_;
    std::unique_ptr<converter::SimulatedConverter> sim_;
    common::MeasurementState state_;
    std::unique_ptr<graph::Surface> surface_;
};

void TestSimulatedRun::initTestCase()
{
    host_ = std::make_unique<FakeLoopHost>();
    sim_ = std::make_unique<converter::SimulatedConverter>(host_->fake_clock());  // v0 20 cm/s, a 60 cm/s^2
    converter::use_lines(*sim_);
    QVERIFY(converter::open_port("COM1"));
    converter::init_converter();

    state_.x_zoom = 1;
    state_.y_zoom = 1;
    acquisition::start_measurement(state_, 1, 1);
    QCOMPARE(state_.last_sample, 1000);
    QVERIFY(acquisition::record_samples(state_, *host_, [] { return converter::read_converter(0); }));
    converter::close_port();

    analysis::begin_graph(state_, 1);
    analysis::analyse_sections(state_);
    surface_ = std::make_unique<graph::Surface>(660, 480);
    graph::draw_graph(*surface_, state_, state_.x_zoom, state_.y_zoom, graph::LabelStyle::FirstDraw);
}

void TestSimulatedRun::cleanupTestCase()
{
    static converter::NoLines none;
    converter::use_lines(none);
}

void TestSimulatedRun::edgesFollowTheHoles()
{
    const converter::SimulatedCart &cart = sim_->cart();
    // Reading i is taken i ms after the port was opened, which started the cart. An edge counts
    // when a reading below the threshold follows it before the last reading, at 1.0 s: so every
    // hole whose trailing edge passes by 0.998 s counts, and none after 1.0 s can. No edge lies
    // in between, so the count does not hang on the exact moment of each reading.
    const auto edge_time = [&](int k) { return cart.time_at_position(cart.hole_trailing_edge_cm(k)); };
    int holes_passed = 0;
    while (edge_time(holes_passed) < 0.998)
        ++holes_passed;
    QVERIFY(edge_time(holes_passed) > 1.0);
    QVERIFY(holes_passed > 30);

    // With one hole a section, every hole that passed is a boundary.
    QCOMPARE(state_.edge_count, holes_passed - 1);
    // Each boundary is the first reading after the hole's trailing edge: at most one period late,
    // and one period more for the quarter-millisecond steps of the fake clock.
    for (int k = 0; k < holes_passed; ++k) {
        const double edge_s = edge_time(k);
        const double boundary_s = state_.edge_index[static_cast<std::size_t>(k)] / 1000.0;
        QVERIFY2(boundary_s >= edge_s - 0.0005 && boundary_s <= edge_s + 0.002,
            qPrintable(QStringLiteral("boundary %1 at %2 s, edge at %3 s").arg(k).arg(boundary_s).arg(edge_s)));
    }
}

void TestSimulatedRun::sectionsFollowTheCart()
{
    const converter::SimulatedCart &cart = sim_->cart();
    const double first_edge_s = state_.edge_index[0] / 1000.0;
    for (std::int32_t k = 1; k <= state_.edge_count; ++k) {
        const auto section = static_cast<std::size_t>(k);
        // Under constant acceleration the mean velocity of a section is the velocity at its
        // middle in time. The boundaries are whole milliseconds and the shortest section lasts
        // about 16 ms, so a duration may be off by up to one part in 16: allow 7 %.
        const double middle_s = first_edge_s + state_.sect_time[section];
        const double expected = cart.velocity_cm_s(middle_s);
        QVERIFY2(std::fabs(state_.sect_velocity[section] - expected) <= 0.07 * expected,
            qPrintable(QStringLiteral("section %1: %2 cm/s, cart %3 cm/s")
                           .arg(k)
                           .arg(state_.sect_velocity[section])
                           .arg(expected)));
        QVERIFY(state_.sect_time[section] > state_.sect_time[section - 1]);
    }
}

void TestSimulatedRun::drawingStopsAtTheBox()
{
    // The run lasts longer than the 0.7 s of the box: the velocity discs end at the last section
    // whose middle is inside it (no velocity comes near 200 cm/s).
    const std::int32_t plotted = state_.plotted_sections;
    QVERIFY(plotted >= 1);
    QVERIFY(plotted < state_.edge_count);
    QVERIFY(state_.sect_time[static_cast<std::size_t>(plotted)] <= 0.7f);
    QVERIFY(state_.sect_time[static_cast<std::size_t>(plotted) + 1] > 0.7f);

    const QImage &image = surface_->image();
    const QPointF first(50 + 800 * state_.sect_time[1], 390 - state_.sect_velocity[1] * 33 / 20);
    QCOMPARE(image.pixelColor(first.toPoint()), QColor(0, 0, 255));
}

void TestSimulatedRun::fitFindsTheAcceleration()
{
    const std::optional<analysis::LineFit> line
        = analysis::fit_velocity_line(state_.sect_time, state_.sect_velocity, state_.plotted_sections);
    QVERIFY(line.has_value());
    // Timing by whole milliseconds scatters the points by a few percent; over some 30 points the
    // slope comes within 2 % of the cart's 60 cm/s^2.
    QVERIFY2(std::fabs(line->acceleration - 60.0) <= 0.02 * 60.0, qPrintable(QString::number(line->acceleration)));
    // The line starts at the first boundary, when the cart has been moving for a while already.
    const double first_edge_s = state_.edge_index[0] / 1000.0;
    const double expected_v0 = sim_->cart().velocity_cm_s(first_edge_s);
    QVERIFY2(std::fabs(line->initial_velocity - expected_v0) <= 0.05 * expected_v0,
        qPrintable(QStringLiteral("%1 cm/s, cart %2 cm/s").arg(line->initial_velocity).arg(expected_v0)));
}

QTEST_MAIN(TestSimulatedRun)
#include "tst_simulated_run.moc"
