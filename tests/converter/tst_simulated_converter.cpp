// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The simulated converter and its cart: read through the protocol at chosen times on a fake
// clock, the simulated lines give the light sensor's value over the moving hole strip.

#include "common/clock.h"
#include "converter/converter.h"
#include "converter/simulated_cart.h"
#include "converter/simulated_converter.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

using converter::CartMotion;
using converter::SimulatedCart;

namespace {

constexpr std::int64_t kOpenAtNs = 7'000'000'000;  // the fake clock when the port is opened
constexpr double kPitchCm = 1.268;

// Middle of hole k and middle of the dark gap behind it, on the strip of `cart`.
double middle_of_hole_cm(int k, const SimulatedCart &cart = SimulatedCart())
{
    return cart.hole_leading_edge_cm(k) + cart.motion().hole_width_cm / 2;
}
double middle_of_gap_cm(int k, const SimulatedCart &cart = SimulatedCart())
{
    return (cart.hole_trailing_edge_cm(k) + cart.hole_leading_edge_cm(k + 1)) / 2;
}

std::int64_t seconds_to_ns(double seconds) { return static_cast<std::int64_t>(std::llround(seconds * 1e9)); }

}  // namespace

class TestSimulatedConverter : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void reading_follows_the_strip_data();
    void reading_follows_the_strip();
    void noise_stays_within_its_amplitude();
    void each_open_restarts_the_cart();
    void a_reading_takes_the_fewest_line_operations();
    void without_an_open_port_it_reads_255();
    void device_answers_the_header_bits_data();
    void device_answers_the_header_bits();
    void device_answers_the_preparation();

    void nothing_connected_data();
    void nothing_connected();
    void pulled_cable_fails_every_line_operation_data();
    void pulled_cable_fails_every_line_operation();
    void readings_after_the_cable_is_pulled_data();
    void readings_after_the_cable_is_pulled();
    void opening_again_plugs_the_cable_in();
    void each_line_operation_costs_its_time_data();
    void each_line_operation_costs_its_time();

    void cart_position_and_velocity_data();
    void cart_position_and_velocity();
    void time_at_position_is_the_inverse_of_position_data();
    void time_at_position_is_the_inverse_of_position();
    void places_the_cart_never_reaches_data();
    void places_the_cart_never_reaches();
    void holes_of_the_strip_data();
    void holes_of_the_strip();
    void readings_bounce_at_crossings();

private:
    // Replaces the converter by one with the given faults; its line costs move the fake clock on.
    void use_faults(const converter::SimulatedFaults &faults);
    // Opens the port at kOpenAtNs and prepares the converter; returns whether it answered.
    bool open_and_prepare();
    std::int16_t read_at(double seconds_after_open);

    std::unique_ptr<common::FakeClock> clock_;
    std::unique_ptr<converter::SimulatedConverter> device_;
    std::unique_ptr<converter::LineConverter> converter_;
};

void TestSimulatedConverter::init()
{
    clock_ = std::make_unique<common::FakeClock>(kOpenAtNs);
    device_ = std::make_unique<converter::SimulatedConverter>(*clock_);
    converter_ = std::make_unique<converter::LineConverter>(*device_);
}

void TestSimulatedConverter::cleanup()
{
    // The converter closes a port still open on the device before the device goes.
    converter_.reset();
    device_.reset();
    clock_.reset();
}

void TestSimulatedConverter::use_faults(const converter::SimulatedFaults &faults)
{
    auto device = std::make_unique<converter::SimulatedConverter>(*clock_, CartMotion{}, 1, faults);
    common::FakeClock *clock = clock_.get();
    device->set_spend_time([clock](std::int64_t ns) { clock->advance_ns(ns); });
    converter_->use_lines(*device);
    device_ = std::move(device);
}

bool TestSimulatedConverter::open_and_prepare()
{
    clock_->set_ns(kOpenAtNs);
    if (!converter_->open_port("COM1") || device_->start_ns() != kOpenAtNs)
        return false;
    return converter_->init_converter();
}

std::int16_t TestSimulatedConverter::read_at(double seconds_after_open)
{
    clock_->set_ns(kOpenAtNs + seconds_to_ns(seconds_after_open));
    return converter_->read_converter(0);
}

void TestSimulatedConverter::reading_follows_the_strip_data()
{
    QTest::addColumn<double>("seconds_after_open");
    QTest::addColumn<int>("level");

    // The default cart: released 0.05 s after the open at 20 cm/s, accelerating at 60 cm/s^2.
    const SimulatedCart cart;
    const int light = SimulatedCart::kLightReading;
    const int dark = SimulatedCart::kDarkReading;
    QTest::newRow("at the open, before the release") << 0.0 << dark;
    QTest::newRow("just before the release") << 0.049 << dark;
    QTest::newRow("middle of hole 0") << cart.time_at_position(middle_of_hole_cm(0)) << light;
    QTest::newRow("gap behind hole 0") << cart.time_at_position(middle_of_gap_cm(0)) << dark;
    QTest::newRow("middle of hole 1") << cart.time_at_position(middle_of_hole_cm(1)) << light;
    QTest::newRow("middle of hole 20") << cart.time_at_position(middle_of_hole_cm(20)) << light;
    QTest::newRow("gap behind hole 20") << cart.time_at_position(middle_of_gap_cm(20)) << dark;
    QTest::newRow("middle of the last hole") << cart.time_at_position(middle_of_hole_cm(46)) << light;
    QTest::newRow("strip just passed") << cart.time_at_position(SimulatedCart::kStripLengthCm + 0.3) << dark;
    QTest::newRow("a minute later") << 60.0 << dark;
}

void TestSimulatedConverter::reading_follows_the_strip()
{
    QFETCH(double, seconds_after_open);
    QFETCH(int, level);

    QVERIFY(open_and_prepare());
    QVERIFY(seconds_after_open >= 0);
    const int reading = read_at(seconds_after_open);
    QVERIFY2(std::abs(reading - level) <= SimulatedCart::kNoiseAmplitude, qPrintable(QString::number(reading)));
}

void TestSimulatedConverter::noise_stays_within_its_amplitude()
{
    QVERIFY(open_and_prepare());
    const double in_hole = SimulatedCart().time_at_position(middle_of_hole_cm(3));
    std::vector<int> seen;
    for (int reading = 0; reading < 200; ++reading) {
        const int value = read_at(in_hole);
        QVERIFY(std::abs(value - SimulatedCart::kLightReading) <= SimulatedCart::kNoiseAmplitude);
        seen.push_back(value);
    }
    // It is noise, not a constant: with 9 possible values, 200 draws give more than one.
    QVERIFY(std::any_of(seen.begin(), seen.end(), [&seen](int value) { return value != seen.front(); }));
}

void TestSimulatedConverter::each_open_restarts_the_cart()
{
    const std::vector<double> times = {0.0, 0.2, 0.3, 0.31, 0.5, 0.52, 0.9, 1.3, 5.0};

    QVERIFY(open_and_prepare());
    std::vector<std::int16_t> first;
    for (double t : times)
        first.push_back(read_at(t));

    // Open again much later: the cart starts afresh from the new open, noise sequence included.
    const std::int64_t later = 3'600'000'000'000;
    converter_->close_port();
    clock_->set_ns(kOpenAtNs + later);
    QVERIFY(converter_->open_port("COM1"));
    QCOMPARE(device_->start_ns(), kOpenAtNs + later);
    converter_->init_converter();
    std::vector<std::int16_t> second;
    for (double t : times) {
        clock_->set_ns(kOpenAtNs + later + seconds_to_ns(t));
        second.push_back(converter_->read_converter(0));
    }
    QCOMPARE(second, first);

    // An open on a port that is still open restarts it as well.
    QVERIFY(converter_->open_port("COM1"));
    QCOMPARE(device_->start_ns(), kOpenAtNs + later + seconds_to_ns(5.0));
}

void TestSimulatedConverter::a_reading_takes_the_fewest_line_operations()
{
    QVERIFY(open_and_prepare());
    const SimulatedCart cart;
    // Both in the dark and in a hole the first pass gives a positive value: one pass, ready at
    // once, so 16 pulses (32 operations), 4 header levels and 9 status queries.
    for (double t : {0.0, cart.time_at_position(middle_of_hole_cm(2)), cart.time_at_position(middle_of_gap_cm(2))}) {
        const std::uint64_t before = device_->line_operations();
        const std::uint64_t conversions = device_->conversions();
        QVERIFY(read_at(t) > 0);
        QCOMPARE(device_->line_operations() - before, std::uint64_t{36 + 9});
        QCOMPARE(device_->conversions() - conversions, std::uint64_t{1});
    }
}

void TestSimulatedConverter::without_an_open_port_it_reads_255()
{
    QCOMPARE(converter_->read_converter(0), std::int16_t{255});
    QVERIFY(open_and_prepare());
    QVERIFY(read_at(0.0) < 255 - SimulatedCart::kNoiseAmplitude);
    converter_->close_port();
    QCOMPARE(converter_->read_converter(0), std::int16_t{255});
    QCOMPARE(device_->conversions(), std::uint64_t{1});
}

void TestSimulatedConverter::device_answers_the_header_bits_data()
{
    QTest::addColumn<bool>("select");
    QTest::addColumn<bool>("positive");
    QTest::addColumn<bool>("channel_0");
    QTest::addColumn<bool>("converts_the_sensor");

    QTest::newRow("selected, positive part, channel 0: the sensor") << true << true << true << true;
    QTest::newRow("selected, negative part, channel 0: 0") << true << false << true << false;
    QTest::newRow("selected, positive part, channel 1: nothing connected") << true << true << false << false;
    QTest::newRow("not selected: 0") << false << true << true << false;
}

void TestSimulatedConverter::device_answers_the_header_bits()
{
    QFETCH(bool, select);
    QFETCH(bool, positive);
    QFETCH(bool, channel_0);
    QFETCH(bool, converts_the_sensor);

    // The device driven line by line, in the middle of hole 5 (light: about 230).
    converter::SimulatedConverter &device = *device_;
    QVERIFY(device.open("COM1") != converter::kInvalidPort);
    clock_->set_ns(kOpenAtNs + seconds_to_ns(SimulatedCart().time_at_position(middle_of_hole_cm(5))));
    auto pulse = [&device] {
        QVERIFY(device.set_rts(false));
        QVERIFY(device.set_rts(true));
    };
    auto ready = [&device] { return device.modem_status().value().cts; };

    QVERIFY(ready());
    // A pulse with DTR asserted is no start bit: the device stays idle.
    pulse();
    QVERIFY(ready());
    // Start bit, then select, polarity and channel; busy from the start bit on.
    for (bool bit : {false, select, positive, channel_0}) {
        QVERIFY(device.set_dtr(bit));
        pulse();
        QVERIFY(!ready());
    }
    int value = 0;
    for (int bit = 7; bit >= 0; --bit) {
        pulse();
        const converter::ModemStatus status = device.modem_status().value();
        QVERIFY(!status.cts);
        if (!status.dsr)
            value += 1 << bit;
    }
    // Busy until the third trailer pulse.
    pulse();
    pulse();
    QVERIFY(!ready());
    pulse();
    QVERIFY(ready());

    if (converts_the_sensor)
        QVERIFY2(std::abs(value - SimulatedCart::kLightReading) <= SimulatedCart::kNoiseAmplitude,
            qPrintable(QString::number(value)));
    else
        QCOMPARE(value, 0);
}

void TestSimulatedConverter::device_answers_the_preparation()
{
    converter::SimulatedConverter &device = *device_;
    QVERIFY(device.open("COM1") != converter::kInvalidPort);
    auto pulse_and_ready = [&device] {
        device.set_rts(false);
        device.set_rts(true);
        return device.modem_status().value().cts;
    };
    // Idle with DTR asserted: ready after one pulse, busy after the second, ready after the third.
    QVERIFY(pulse_and_ready());
    QVERIFY(!pulse_and_ready());
    QVERIFY(pulse_and_ready());
    device.close();

    // So the preparation takes one pulse in each of its loops, and the reading after it the fewest
    // operations: one wait pulse.
    QVERIFY(converter_->open_port("COM1"));
    const std::uint64_t before = device.line_operations();
    QVERIFY(converter_->init_converter());
    QCOMPARE(device.line_operations() - before, std::uint64_t{2 * 3});
    const std::uint64_t before_reading = device.line_operations();
    QVERIFY(converter_->read_converter(0) > 0);
    QCOMPARE(device.line_operations() - before_reading, std::uint64_t{36 + 9});
}

void TestSimulatedConverter::nothing_connected_data()
{
    QTest::addColumn<bool>("no_converter");
    QTest::addColumn<double>("seconds_after_open");
    QTest::addColumn<int>("level");

    const double in_hole_5 = SimulatedCart().time_at_position(middle_of_hole_cm(5));
    QTest::newRow("converter connected, at the open") << false << 0.0 << int{SimulatedCart::kDarkReading};
    QTest::newRow("converter connected, in hole 5") << false << in_hole_5 << int{SimulatedCart::kLightReading};
    QTest::newRow("nothing connected, at the open") << true << 0.0 << 255;
    QTest::newRow("nothing connected, in hole 5") << true << in_hole_5 << 255;
    QTest::newRow("nothing connected, a minute on") << true << 60.0 << 255;
}

void TestSimulatedConverter::nothing_connected()
{
    QFETCH(bool, no_converter);
    QFETCH(double, seconds_after_open);
    QFETCH(int, level);

    converter::SimulatedFaults faults;
    faults.no_converter = no_converter;
    use_faults(faults);
    QCOMPARE(open_and_prepare(), !no_converter);

    const std::uint64_t before = device_->line_operations();
    const int reading = read_at(seconds_after_open);
    if (no_converter) {
        QCOMPARE(reading, 255);
        // Nothing converts; the wait runs its 21 pulses: 36 pulses, 4 header levels, 29 queries.
        QCOMPARE(device_->conversions(), std::uint64_t{0});
        QCOMPARE(device_->line_operations() - before, std::uint64_t{72 + 4 + 29});
    } else {
        QVERIFY2(std::abs(reading - level) <= SimulatedCart::kNoiseAmplitude, qPrintable(QString::number(reading)));
        QCOMPARE(device_->line_operations() - before, std::uint64_t{36 + 9});
    }
    // The lines themselves work either way: a silent converter is no failed line.
    QCOMPARE(converter_->line_failures(), std::uint64_t{0});
}

void TestSimulatedConverter::pulled_cable_fails_every_line_operation_data()
{
    QTest::addColumn<double>("unplug_after_s");
    QTest::addColumn<double>("seconds_after_open");
    QTest::addColumn<bool>("fails");

    QTest::newRow("never pulled, a minute on") << -1.0 << 60.0 << false;
    QTest::newRow("pulled at 0.5 s, 1 ms before") << 0.5 << 0.499 << false;
    QTest::newRow("pulled at 0.5 s, at 0.5 s") << 0.5 << 0.5 << true;
    QTest::newRow("pulled at 0.5 s, 10 s on") << 0.5 << 10.0 << true;
    QTest::newRow("pulled at the open") << 0.0 << 0.0 << true;
}

void TestSimulatedConverter::pulled_cable_fails_every_line_operation()
{
    QFETCH(double, unplug_after_s);
    QFETCH(double, seconds_after_open);
    QFETCH(bool, fails);

    converter::SimulatedFaults faults;
    faults.unplug_after_s = unplug_after_s;
    use_faults(faults);
    QVERIFY(device_->open("COM1") != converter::kInvalidPort);
    clock_->set_ns(kOpenAtNs + seconds_to_ns(seconds_after_open));
    QCOMPARE(device_->set_rts(false), !fails);
    QCOMPARE(device_->set_rts(true), !fails);
    QCOMPARE(device_->set_dtr(false), !fails);
    QCOMPARE(device_->modem_status().has_value(), !fails);
}

void TestSimulatedConverter::readings_after_the_cable_is_pulled_data()
{
    QTest::addColumn<double>("unplug_after_s");
    QTest::addColumn<int>("line_cost_us");
    QTest::addColumn<double>("seconds_after_open");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<int>("failures");  // failed operations of the reading

    // A reading on dead lines has one pass with a 21-pulse wait: 72 + 4 line operations and 29
    // queries, all failed.
    // 0.02 s is before the cart's release: the strip is dark there.
    QTest::newRow("pulled at 0.5 s, reading at 0.02 s") << 0.5 << 0 << 0.02 << true << 0;
    QTest::newRow("pulled at 0.5 s, reading at 0.6 s") << 0.5 << 0 << 0.6 << true << 105;
    QTest::newRow("pulled at 0.5 s, reading at 0.6 s, 1 ms an operation") << 0.5 << 1000 << 0.6 << true << 105;
    QTest::newRow("pulled at the open") << 0.0 << 0 << 0.02 << false << 105;
    // At 1 ms an operation, operation k of the reading starts k ms into it: 0 to 10 get through
    // (the wait's pulse and query, three header levels and the pulse of two), 34 of 45 fail.
    QTest::newRow("pulled 10.5 ms into a reading, 1 ms an operation") << 0.0305 << 1000 << 0.02 << true << 34;
}

void TestSimulatedConverter::readings_after_the_cable_is_pulled()
{
    QFETCH(double, unplug_after_s);
    QFETCH(int, line_cost_us);
    QFETCH(double, seconds_after_open);
    QFETCH(bool, answered);
    QFETCH(int, failures);

    converter::SimulatedFaults faults;
    faults.unplug_after_s = unplug_after_s;
    faults.line_cost_us = line_cost_us;
    use_faults(faults);
    QCOMPARE(open_and_prepare(), answered);
    // Preparing a converter that has gone already fails every operation of the preparation.
    if (!answered)
        QVERIFY(converter_->line_failures() > 0);
    else
        QCOMPARE(converter_->line_failures(), std::uint64_t{0});

    const std::uint64_t failures_before = converter_->line_failures();
    const int reading = read_at(seconds_after_open);
    QCOMPARE(converter_->line_failures() - failures_before, static_cast<std::uint64_t>(failures));
    // Any failed data query reads as bit 1, and here the data bits come after the pull.
    if (failures > 0)
        QCOMPARE(reading, 255);
    else
        QVERIFY2(std::abs(reading - SimulatedCart::kDarkReading) <= SimulatedCart::kNoiseAmplitude,
            qPrintable(QString::number(reading)));
}

void TestSimulatedConverter::opening_again_plugs_the_cable_in()
{
    converter::SimulatedFaults faults;
    faults.unplug_after_s = 0.5;
    use_faults(faults);
    QVERIFY(open_and_prepare());
    QCOMPARE(read_at(0.6), std::int16_t{255});
    QVERIFY(converter_->line_failures() > 0);

    // The next open counts afresh, both the failures and the time to the next pull.
    const std::int64_t reopen_ns = kOpenAtNs + seconds_to_ns(2.0);
    clock_->set_ns(reopen_ns);
    QVERIFY(converter_->open_port("COM1"));
    QCOMPARE(converter_->line_failures(), std::uint64_t{0});
    QVERIFY(converter_->init_converter());
    clock_->set_ns(reopen_ns + seconds_to_ns(0.02));
    QVERIFY(std::abs(converter_->read_converter(0) - SimulatedCart::kDarkReading) <= SimulatedCart::kNoiseAmplitude);
    QCOMPARE(converter_->line_failures(), std::uint64_t{0});
    clock_->set_ns(reopen_ns + seconds_to_ns(0.5));
    QCOMPARE(converter_->read_converter(0), std::int16_t{255});
    QVERIFY(converter_->line_failures() > 0);
}

void TestSimulatedConverter::each_line_operation_costs_its_time_data()
{
    QTest::addColumn<int>("line_cost_us");
    QTest::addColumn<bool>("no_converter");
    QTest::addColumn<int>("operations");  // line operations and queries of one reading

    QTest::newRow("free lines") << 0 << false << 36 + 9;
    QTest::newRow("1 µs an operation") << 1 << false << 36 + 9;
    QTest::newRow("100 µs an operation") << 100 << false << 36 + 9;
    QTest::newRow("1 ms an operation") << 1000 << false << 36 + 9;
    QTest::newRow("100 µs, nothing connected") << 100 << true << 76 + 29;
    QTest::newRow("2 ms, nothing connected") << 2000 << true << 76 + 29;
}

void TestSimulatedConverter::each_line_operation_costs_its_time()
{
    QFETCH(int, line_cost_us);
    QFETCH(bool, no_converter);
    QFETCH(int, operations);

    converter::SimulatedFaults faults;
    faults.line_cost_us = line_cost_us;
    faults.no_converter = no_converter;
    use_faults(faults);
    const std::int64_t cost_ns = std::int64_t{line_cost_us} * 1000;

    // The preparation: its operations, each at its cost.
    clock_->set_ns(kOpenAtNs);
    QVERIFY(converter_->open_port("COM1"));
    std::uint64_t operations_before = device_->line_operations();
    QCOMPARE(converter_->init_converter(), !no_converter);
    const auto preparation_operations = static_cast<std::int64_t>(device_->line_operations() - operations_before);
    QCOMPARE(clock_->now_ns() - kOpenAtNs, preparation_operations * cost_ns);

    // Two readings in a row, each taking its operations times the cost.
    for (int reading = 0; reading < 2; ++reading) {
        operations_before = device_->line_operations();
        const std::int64_t start_ns = clock_->now_ns();
        converter_->read_converter(0);
        QCOMPARE(device_->line_operations() - operations_before, static_cast<std::uint64_t>(operations));
        QCOMPARE(clock_->now_ns() - start_ns, std::int64_t{operations} * cost_ns);
    }
    QCOMPARE(converter_->line_failures(), std::uint64_t{0});
}

void TestSimulatedConverter::cart_position_and_velocity_data()
{
    QTest::addColumn<double>("v0");
    QTest::addColumn<double>("accel");
    QTest::addColumn<double>("release");
    QTest::addColumn<double>("t");
    QTest::addColumn<double>("position");
    QTest::addColumn<double>("velocity");
    QTest::addColumn<double>("end_stop");    // cm; negative: none
    QTest::addColumn<double>("turn_after");  // s; negative: none

    // Times and motions are binary fractions, so every expected value is exact.
    QTest::newRow("before the release") << 20.0 << 60.0 << 0.25 << 0.125 << 0.0 << 0.0 << -1.0 << -1.0;
    QTest::newRow("at the release") << 20.0 << 60.0 << 0.25 << 0.25 << 0.0 << 0.0 << -1.0 << -1.0;
    QTest::newRow("accelerating, 0.5 s after the release")
        << 20.0 << 60.0 << 0.25 << 0.75 << 17.5 << 50.0 << -1.0 << -1.0;
    QTest::newRow("uniform, 2 s after the release") << 10.0 << 0.0 << 0.5 << 2.5 << 20.0 << 10.0 << -1.0 << -1.0;
    QTest::newRow("from rest, 1 s after the release") << 0.0 << 8.0 << 0.0 << 1.0 << 4.0 << 8.0 << -1.0 << -1.0;
    QTest::newRow("braking, still moving") << 30.0 << -20.0 << 0.0 << 1.0 << 20.0 << 10.0 << -1.0 << -1.0;
    QTest::newRow("braking, just stopped") << 30.0 << -20.0 << 0.0 << 1.5 << 22.5 << 0.0 << -1.0 << -1.0;
    QTest::newRow("braking, stopped and stays") << 30.0 << -20.0 << 0.0 << 10.0 << 22.5 << 0.0 << -1.0 << -1.0;
    QTest::newRow("braking from rest stays put") << 0.0 << -20.0 << 0.0 << 3.0 << 0.0 << 0.0 << -1.0 << -1.0;
    QTest::newRow("before the end stop") << 20.0 << 0.0 << 0.0 << 0.25 << 5.0 << 20.0 << 10.0 << -1.0;
    QTest::newRow("just at the end stop") << 20.0 << 0.0 << 0.0 << 0.5 << 10.0 << 0.0 << 10.0 << -1.0;
    QTest::newRow("stands at the end stop") << 20.0 << 60.0 << 0.25 << 2.0 << 10.0 << 0.0 << 10.0 << -1.0;
    QTest::newRow("braking stops short of the end stop") << 30.0 << -20.0 << 0.0 << 10.0 << 22.5 << 0.0 << 40.0 << -1.0;
    // Turning 1.5 s after the release at 20 cm/s²: out at 30 cm/s, up to 22.5 cm, and back.
    QTest::newRow("turning, on the way out") << 0.0 << -20.0 << 0.0 << 1.0 << 20.0 << 10.0 << -1.0 << 1.5;
    QTest::newRow("turning, at the turn") << 0.0 << 20.0 << 0.0 << 1.5 << 22.5 << 0.0 << -1.0 << 1.5;
    QTest::newRow("turning, rolling back") << 99.0 << 20.0 << 0.0 << 2.5 << 12.5 << -20.0 << -1.0 << 1.5;
    QTest::newRow("turning, back at the start") << 0.0 << 20.0 << 0.0 << 3.0 << 0.0 << 0.0 << -1.0 << 1.5;
    QTest::newRow("turning, stays at the start") << 0.0 << 20.0 << 0.0 << 4.0 << 0.0 << 0.0 << -1.0 << 1.5;
}

void TestSimulatedConverter::cart_position_and_velocity()
{
    QFETCH(double, v0);
    QFETCH(double, accel);
    QFETCH(double, release);
    QFETCH(double, t);
    QFETCH(double, position);
    QFETCH(double, velocity);
    QFETCH(double, end_stop);
    QFETCH(double, turn_after);

    CartMotion motion{v0, accel, release};
    if (end_stop >= 0)
        motion.end_stop_cm = end_stop;
    if (turn_after >= 0)
        motion.turn_after_s = turn_after;
    const SimulatedCart cart(motion);
    QVERIFY2(cart.position_cm(t) == position, qPrintable(QString::number(cart.position_cm(t), 'g', 17)));
    QVERIFY2(cart.velocity_cm_s(t) == velocity, qPrintable(QString::number(cart.velocity_cm_s(t), 'g', 17)));
}

void TestSimulatedConverter::time_at_position_is_the_inverse_of_position_data()
{
    QTest::addColumn<double>("v0");
    QTest::addColumn<double>("accel");
    QTest::addColumn<double>("release");
    QTest::addColumn<double>("distance");

    QTest::newRow("default cart, first hole") << 20.0 << 60.0 << 0.05 << 1.0;
    QTest::newRow("default cart, end of the strip") << 20.0 << 60.0 << 0.05 << 60.0;
    QTest::newRow("uniform") << 15.0 << 0.0 << 0.1 << 33.3;
    QTest::newRow("from rest") << 0.0 << 40.0 << 0.0 << 12.0;
    QTest::newRow("tiny acceleration") << 25.0 << 1e-9 << 0.0 << 50.0;
    QTest::newRow("braking, on the way") << 30.0 << -20.0 << 0.2 << 10.0;
    QTest::newRow("braking, exactly where it stops") << 30.0 << -20.0 << 0.0 << 22.5;
}

void TestSimulatedConverter::time_at_position_is_the_inverse_of_position()
{
    QFETCH(double, v0);
    QFETCH(double, accel);
    QFETCH(double, release);
    QFETCH(double, distance);

    const SimulatedCart cart(CartMotion{v0, accel, release});
    const double t = cart.time_at_position(distance);
    QVERIFY(t > release);
    // Round-off of the square root and the products: 1e-9 cm is far below any hole width.
    QVERIFY2(
        std::abs(cart.position_cm(t) - distance) < 1e-9, qPrintable(QString::number(cart.position_cm(t), 'g', 17)));
    // It is the first time the cart gets there: a moment earlier it had not.
    QVERIFY(cart.position_cm(t - 1e-3) < distance);
    QCOMPARE(cart.time_at_position(0.0), release);
}

void TestSimulatedConverter::places_the_cart_never_reaches_data()
{
    QTest::addColumn<double>("v0");
    QTest::addColumn<double>("accel");
    QTest::addColumn<double>("distance");
    QTest::addColumn<double>("end_stop");  // cm; negative: none

    QTest::newRow("a cart at rest") << 0.0 << 0.0 << 1.0 << -1.0;
    QTest::newRow("braking, beyond the stop") << 30.0 << -20.0 << 22.6 << -1.0;
    QTest::newRow("braking from rest") << 0.0 << -20.0 << 1.0 << -1.0;
    QTest::newRow("moving backwards uniformly") << -5.0 << 0.0 << 1.0 << -1.0;
    QTest::newRow("beyond the end stop") << 20.0 << 60.0 << 30.5 << 30.0;
}

void TestSimulatedConverter::places_the_cart_never_reaches()
{
    QFETCH(double, v0);
    QFETCH(double, accel);
    QFETCH(double, distance);
    QFETCH(double, end_stop);

    CartMotion motion{v0, accel, 0.0};
    if (end_stop >= 0)
        motion.end_stop_cm = end_stop;
    const SimulatedCart cart(motion);
    QVERIFY(cart.time_at_position(distance) < 0);
    QVERIFY(cart.position_cm(1000.0) < distance);
}

void TestSimulatedConverter::holes_of_the_strip_data()
{
    QTest::addColumn<double>("width_cm");
    QTest::addColumn<int>("holes");
    QTest::addColumn<double>("jitter_cm");
    QTest::addColumn<int>("torn");  // -1: none

    // 60 cm of strip, the first hole from 1.0 cm, a hole every 1.268 cm: with 0.5 cm holes the last
    // that fits whole is hole 46 (59.328 to 59.828 cm), so 47 holes; with 1 cm holes hole 46 would
    // end at 60.328 cm, so 46.
    QTest::newRow("5 mm holes") << 0.5 << 47 << 0.0 << -1;
    QTest::newRow("3 mm holes") << 0.3 << 47 << 0.0 << -1;
    QTest::newRow("10 mm holes") << 1.0 << 46 << 0.0 << -1;
    QTest::newRow("hole 12 torn out") << 0.5 << 47 << 0.0 << 12;
    QTest::newRow("the last hole torn out") << 0.5 << 47 << 0.0 << 46;
    // Up to half the bar: the holes never touch.
    QTest::newRow("holes up to 3.8 mm off their places") << 0.5 << 47 << 0.38 << -1;
}

void TestSimulatedConverter::holes_of_the_strip()
{
    QFETCH(double, width_cm);
    QFETCH(int, holes);
    QFETCH(double, jitter_cm);
    QFETCH(int, torn);

    CartMotion motion;
    motion.hole_width_cm = width_cm;
    motion.hole_jitter_cm = jitter_cm;
    if (torn >= 0)
        motion.torn_hole = torn;
    const SimulatedCart cart(motion);
    QCOMPARE(cart.hole_count(), holes);
    if (jitter_cm == 0) {
        QVERIFY(cart.hole_trailing_edge_cm(holes - 1) < SimulatedCart::kStripLengthCm);
        QVERIFY(cart.hole_trailing_edge_cm(holes) > SimulatedCart::kStripLengthCm);
        QVERIFY(std::abs(cart.hole_trailing_edge_cm(0) - (1.0 + width_cm)) < 1e-12);
        QVERIFY(std::abs(cart.hole_trailing_edge_cm(10) - (13.68 + width_cm)) < 1e-12);
    }

    double farthest_cm = 0;
    for (int k = 0; k < cart.hole_count(); ++k) {
        // Both edges of a hole stand off alike.
        const double off_cm = cart.hole_leading_edge_cm(k) - (1.0 + k * kPitchCm);
        farthest_cm = std::max(farthest_cm, std::fabs(off_cm));
        QVERIFY(std::abs(cart.hole_trailing_edge_cm(k) - cart.hole_leading_edge_cm(k) - width_cm) < 1e-12);
        QCOMPARE(cart.has_hole(k), k != torn);
        QVERIFY2(!cart.hole_at(middle_of_gap_cm(k, cart)), qPrintable(QString::number(k)));
        if (k == torn) {
            QVERIFY(!cart.hole_at(middle_of_hole_cm(k, cart)));
            continue;
        }
        QVERIFY2(cart.hole_at(middle_of_hole_cm(k, cart)), qPrintable(QString::number(k)));
        QVERIFY2(!cart.hole_at(middle_of_gap_cm(k, cart)), qPrintable(QString::number(k)));
        // Just inside the edges of the hole, and just outside them.
        const double leading = cart.hole_trailing_edge_cm(k) - width_cm;
        QVERIFY(cart.hole_at(leading + 0.01));
        QVERIFY(cart.hole_at(cart.hole_trailing_edge_cm(k) - 0.01));
        QVERIFY(!cart.hole_at(leading - 0.01));
        QVERIFY(!cart.hole_at(cart.hole_trailing_edge_cm(k) + 0.01));
    }
    QVERIFY(farthest_cm <= jitter_cm && (jitter_cm == 0 || farthest_cm > jitter_cm / 2));
    QVERIFY(!cart.hole_at(0.0));
    QVERIFY(!cart.hole_at(0.99 - jitter_cm));
    QVERIFY(!cart.hole_at(middle_of_hole_cm(holes, cart)));
    QVERIFY(!cart.hole_at(100.0));
    QVERIFY(!cart.hole_at(-3.0));
}

void TestSimulatedConverter::readings_bounce_at_crossings()
{
    // Every crossing bounces once or twice: the readings about it alternate, one reading each, and
    // the crossing lies in the middle of them. At 20 cm/s read every 0.1 ms, a hole takes 250
    // readings and a bar 384; the release comes between two readings, so no edge lies just at one.
    CartMotion motion{20.0, 0.0, 3.7e-5};
    motion.flicker_share = 1.0;
    SimulatedCart cart(motion);
    std::vector<bool> light;
    std::vector<bool> strip;
    for (int i = 0; i < 20'000; ++i) {
        light.push_back(cart.sensor_reading(i * 1e-4) >= 125);
        strip.push_back(cart.hole_at(cart.position_cm(i * 1e-4)));
    }
    int once = 0;
    int twice = 0;
    for (std::size_t i = 5; i + 5 < light.size(); ++i) {
        if (strip[i] == strip[i - 1])
            continue;
        // Reading i is the first after the crossing: as many readings before it show the new side
        // as after it show the old one, the readings farther out show the strip as it is, and the
        // readings between turn three times for a bounce and five times for two.
        int early = 0;
        int late = 0;
        int turns = 0;
        for (std::size_t k = i - 5; k < i + 5; ++k) {
            (k < i ? early : late) += light[k] != strip[k];
            turns += light[k + 1] != light[k];
        }
        QCOMPARE(early, late);
        QCOMPARE(early, 1);
        QCOMPARE(light[i - 5], strip[i - 5]);
        QCOMPARE(light[i + 4], strip[i + 4]);
        QVERIFY2(turns == 3 || turns == 5, qPrintable(QString::number(turns)));
        (turns == 3 ? once : twice) += 1;
    }
    // In 2 s the strip moves 40 cm: 31 holes from 1 cm on, 62 edges, about half of them bouncing
    // twice.
    QCOMPARE(once + twice, 62);
    QVERIFY2(once > 20 && twice > 20, qPrintable(QStringLiteral("%1 once, %2 twice").arg(once).arg(twice)));
    // None bounce without the flicker.
    motion.flicker_share = 0;
    SimulatedCart steady(motion);
    for (int i = 0; i < 20'000; ++i)
        QCOMPARE(steady.sensor_reading(i * 1e-4) >= 125, steady.hole_at(steady.position_cm(i * 1e-4)));
}

QTEST_GUILESS_MAIN(TestSimulatedConverter)
#include "tst_simulated_converter.moc"
