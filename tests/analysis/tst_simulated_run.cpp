// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A whole run on the simulated converter: one second recorded at 1 ms through the converter
// protocol, then the analysis, the first drawing and the fit, checked against the cart's motion.

#include "acquisition/measurement.h"
#include "analysis/least_squares.h"
#include "analysis/position_fit.h"
#include "analysis/sections.h"
#include "analysis/span_fits.h"
#include "analysis/strip_check.h"
#include "analysis/tape.h"
#include "common/measurement_plan.h"
#include "converter/converter.h"
#include "converter/simulated_converter.h"
#include "converter/simulated_stamps.h"
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
    void stripCheckFollowsThePeriod_data();
    void stripCheckFollowsThePeriod();
    void tapeFollowsTheCart_data();
    void tapeFollowsTheCart();
    void stampsTimeTheCart_data();
    void stampsTimeTheCart();

private:
    std::unique_ptr<FakeLoopHost> host_;
    std::unique_ptr<converter::SimulatedConverter> sim_;
    std::unique_ptr<converter::LineConverter> converter_;
    common::MeasurementState state_;
    std::unique_ptr<graph::Surface> surface_;
};

void TestSimulatedRun::initTestCase()
{
    host_ = std::make_unique<FakeLoopHost>();
    sim_ = std::make_unique<converter::SimulatedConverter>(host_->fake_clock());  // v0 20 cm/s, a 60 cm/s^2
    converter_ = std::make_unique<converter::LineConverter>(*sim_);
    QVERIFY(converter_->open_port("COM1"));
    converter_->init_converter();

    state_.x_zoom = 1;
    state_.y_zoom = 1;
    common::start_measurement(state_, 1, 1);
    QCOMPARE(state_.last_sample, 1000);
    QVERIFY(acquisition::record_samples(state_, *host_, [this] { return converter_->read_converter(0); }));
    converter_->close_port();

    analysis::begin_graph(state_, 1);
    analysis::analyse_sections(state_);
    surface_ = std::make_unique<graph::Surface>(660, 480);
    graph::draw_graph(*surface_, state_, state_.x_zoom, state_.y_zoom, graph::LabelStyle::FirstDraw);
}

void TestSimulatedRun::cleanupTestCase()
{
    // The converter closes a port still open on the simulated lines before they go.
    converter_.reset();
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

    // The position fit through the same span uses each edge once: within 1 % of the cart, and
    // the truth within three of its standard errors.
    const analysis::StripAnalysis strip = analysis::analyse_strip(state_);
    QVERIFY(!strip.check.found_something());
    const std::optional<analysis::PositionFit> position = analysis::fit_positions(strip, state_.plotted_sections);
    QVERIFY(position && position->acceleration_error);
    QVERIFY2(
        std::fabs(position->acceleration - 60.0) <= 0.01 * 60.0, qPrintable(QString::number(position->acceleration)));
    QVERIFY(std::fabs(position->acceleration - 60.0) <= 3 * *position->acceleration_error);
    QVERIFY(position->r_squared > 0.9999);
    QVERIFY(position->hole_width_cm && std::fabs(*position->hole_width_cm - 0.5) < 0.1);
    QCOMPARE(position->edges, 2 * state_.plotted_sections + 1);
}

void TestSimulatedRun::stripCheckFollowsThePeriod_data()
{
    QTest::addColumn<int>("period_ms");
    QTest::addColumn<double>("v0");
    QTest::addColumn<double>("accel");
    QTest::addColumn<double>("hole_width_cm");
    QTest::addColumn<double>("end_stop_cm");  // negative: none
    QTest::addColumn<bool>("speaks");

    // A 0.5 cm hole passes a reading unseen above 0.5 cm per period: 100 cm/s at 5 ms, 500 cm/s
    // at 1 ms.
    QTest::newRow("the simulated cart at 1 ms") << 1 << 20.0 << 60.0 << 0.5 << -1.0 << false;
    QTest::newRow("the simulated cart at 1 ms, stopped at 30 cm") << 1 << 20.0 << 60.0 << 0.5 << 30.0 << false;
    // (The cart released at 120 cm/s, at 5 ms and at 1 ms, is the window's test: グラフ's message.)
    QTest::newRow("60 cm/s and 200 cm/s² at 2 ms, 3 mm holes") << 2 << 60.0 << 200.0 << 0.3 << -1.0 << true;
}

void TestSimulatedRun::stripCheckFollowsThePeriod()
{
    QFETCH(int, period_ms);
    QFETCH(double, v0);
    QFETCH(double, accel);
    QFETCH(double, hole_width_cm);
    QFETCH(double, end_stop_cm);
    QFETCH(bool, speaks);

    converter::CartMotion motion{v0, accel, 0.05};
    motion.hole_width_cm = hole_width_cm;
    if (end_stop_cm >= 0)
        motion.end_stop_cm = end_stop_cm;
    FakeLoopHost host;
    converter::SimulatedConverter simulated(host.fake_clock(), motion);
    converter::LineConverter link(simulated);
    QVERIFY(link.open_port("COM1"));
    link.init_converter();
    common::MeasurementState state;
    common::start_measurement(state, static_cast<std::int16_t>(period_ms), 1);
    QVERIFY(acquisition::record_samples(state, host, [&link] { return link.read_converter(0); }));
    link.close_port();

    analysis::begin_graph(state, 1);
    analysis::analyse_sections(state);
    const analysis::StripAnalysis strip = analysis::analyse_strip(state);
    QVERIFY(state.edge_count > 10);
    QCOMPARE(strip.check.found_something(), speaks);
    // Every check names the speed the period follows: the hole's width per period, from the
    // share of light readings.
    QVERIFY(strip.check.followable_speed_cm_s);
    const double hole_speed = hole_width_cm * 1000 / period_ms;
    QVERIFY2(std::fabs(*strip.check.followable_speed_cm_s - hole_speed) <= 0.25 * hole_speed,
        qPrintable(QString::number(*strip.check.followable_speed_cm_s)));
    if (speaks)
        QVERIFY(strip.check.longest_period_ms && *strip.check.longest_period_ms < period_ms);
}

void TestSimulatedRun::tapeFollowsTheCart_data()
{
    QTest::addColumn<double>("piece_s");
    QTest::addColumn<int>("pieces");  // whole ones, and one shorter
    QTest::addColumn<double>("tolerance_cm");

    // The run lasts from the first edge to the last, 0.88 s: eight whole pieces of 0.1 s and the
    // rest apart. Each piece's length is the cart's own within 0.2 mm, holes in it or not (at 20 cm/s,
    // a piece of 0.02 s is a third of a pitch).
    QTest::newRow("0.1 s pieces") << 0.1 << 8 << 0.02;
    QTest::newRow("0.02 s pieces, dividing the run") << 0.02 << 44 << 0.02;
}

void TestSimulatedRun::tapeFollowsTheCart()
{
    QFETCH(double, piece_s);
    QFETCH(int, pieces);
    QFETCH(double, tolerance_cm);

    const analysis::StripAnalysis strip = analysis::analyse_strip(state_);
    const analysis::Tape tape = analysis::cut_tape(state_, strip, piece_s);
    QCOMPARE(tape.refusal, analysis::TapeRefusal::None);
    const bool shorter = tape.pieces.back().kind == analysis::TapePiece::Kind::Shorter;
    QCOMPARE(tape.pieces.size(), static_cast<std::size_t>(pieces + (shorter ? 1 : 0)));
    QCOMPARE(shorter, tape.run_s - pieces * piece_s > 1e-6);
    const converter::SimulatedCart &cart = sim_->cart();
    const double first_edge_s = state_.edge_index[0] / 1000.0;
    double worst = 0;
    for (const analysis::TapePiece &piece : tape.pieces) {
        QVERIFY(piece.length_cm && !piece.across_torn && !piece.across_missed);
        const double truth
            = cart.position_cm(first_edge_s + piece.end_s) - cart.position_cm(first_edge_s + piece.start_s);
        worst = std::max(worst, std::fabs(*piece.length_cm - truth));
    }
    QVERIFY2(worst <= tolerance_cm, qPrintable(QStringLiteral("off by %1 cm").arg(worst)));
    // The tops' line: the cart's 60 cm/s² within 1 %, without the shorter piece.
    QVERIFY(tape.line && tape.line->points == pieces);
    QVERIFY2(std::fabs(tape.line->slope - 60) <= 0.6, qPrintable(QString::number(tape.line->slope)));
}

void TestSimulatedRun::stampsTimeTheCart_data()
{
    QTest::addColumn<int>("period_ms");
    QTest::addColumn<double>("v0");
    QTest::addColumn<double>("accel");
    QTest::addColumn<double>("rise_shift_cm");  // the pin's hysteresis, as a shift along the strip
    QTest::addColumn<double>("fall_shift_cm");

    QTest::newRow("1 ms") << 1 << 20.0 << 60.0 << 0.0 << 0.0;
    QTest::newRow("5 ms") << 5 << 20.0 << 60.0 << 0.0 << 0.0;
    QTest::newRow("10 ms, a slower cart") << 10 << 10.0 << 10.0 << 0.0 << 0.0;
    QTest::newRow("10 ms, rises 0.3 mm late and falls 0.2 mm early") << 10 << 10.0 << 10.0 << 0.03 << -0.02;
}

void TestSimulatedRun::stampsTimeTheCart()
{
    QFETCH(int, period_ms);
    QFETCH(double, v0);
    QFETCH(double, accel);
    QFETCH(double, rise_shift_cm);
    QFETCH(double, fall_shift_cm);
    // The readings of the cart at the period and the board's stamps of its edges beside them.
    converter::CartMotion motion;
    motion.v0_cm_s = v0;
    motion.accel_cm_s2 = accel;
    converter::SimulatedCart cart(motion, 1);
    common::MeasurementState state;
    common::start_measurement(state, static_cast<std::int16_t>(period_ms), 1);
    for (std::int32_t k = 0; k <= state.last_sample; ++k)
        state.samples[static_cast<std::size_t>(k)]
            = static_cast<std::int16_t>(cart.sensor_reading(k * period_ms * 1e-3));
    state.stamps.stamped = true;
    state.stamps.edges = converter::simulated_stamps(
        cart, 0, std::int64_t(state.last_sample) * period_ms * 1000, {rise_shift_cm, fall_shift_cm});
    analysis::begin_graph(state, 1);
    analysis::analyse_sections(state);
    QVERIFY(state.edge_count >= 5);
    // The readings deny no stamp.
    const analysis::StripAnalysis strip = analysis::analyse_strip(state);
    QVERIFY(strip.unmatched_stamps.empty());
    // The sections timed by the stamps: a section's mean velocity is the cart's at the middle of
    // its time, to the timer's 4 µs.
    const auto first_fall = std::find_if(state.stamps.edges.begin(), state.stamps.edges.end(),
        [](const common::EdgeStamp &edge) { return !edge.rising; });
    const double first_s = first_fall->time_us * 1e-6;
    for (std::int32_t k = 1; k <= state.edge_count; ++k) {
        const auto entry = static_cast<std::size_t>(k);
        const double expected = cart.velocity_cm_s(first_s + state.sect_time[entry]);
        QVERIFY2(std::fabs(state.sect_velocity[entry] - expected) <= 2e-4 * expected,
            qPrintable(
                QStringLiteral("section %1: %2 cm/s, cart %3").arg(k).arg(state.sect_velocity[entry]).arg(expected)));
    }
    // The position fit through the stamps: within 0.05 % of the cart, whatever the period; the
    // pin's shifts go into the hole's width.
    const std::optional<analysis::PositionFit> fit = analysis::fit_positions(strip, state.edge_count);
    QVERIFY(fit);
    QVERIFY2(
        std::fabs(fit->acceleration - accel) <= 5e-4 * accel, qPrintable(QString::number(fit->acceleration, 'g', 8)));
    QVERIFY(fit->hole_width_cm);
    QVERIFY2(std::fabs(*fit->hole_width_cm - (0.5 + fall_shift_cm - rise_shift_cm)) < 1e-3,
        qPrintable(QString::number(*fit->hole_width_cm)));
    // The distance graph's last boundary at its stamp.
    std::vector<double> falls_s;
    for (const common::EdgeStamp &edge : state.stamps.edges) {
        if (!edge.rising)
            falls_s.push_back(edge.time_us * 1e-6);
    }
    QVERIFY(std::fabs(analysis::boundary_time(state, state.edge_count)
                - (falls_s[static_cast<std::size_t>(state.edge_count)] - first_s))
        < 1e-9);
    // The tape's pieces of 0.1 s from the first stamp: the strip that passed, to 20 µm.
    const analysis::Tape tape = analysis::cut_tape(state, strip, 0.1);
    QVERIFY(tape.pieces.size() >= 3);
    for (const analysis::TapePiece &piece : tape.pieces) {
        QVERIFY(piece.length_cm);
        const double truth = cart.position_cm(first_s + piece.end_s) - cart.position_cm(first_s + piece.start_s);
        QVERIFY2(std::fabs(*piece.length_cm - truth) < 2e-3,
            qPrintable(QStringLiteral("piece %1: %2 cm, cart %3").arg(piece.number).arg(*piece.length_cm).arg(truth)));
    }
}

QTEST_MAIN(TestSimulatedRun)
#include "tst_simulated_run.moc"
