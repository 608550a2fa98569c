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

// Middle of hole k and middle of the dark gap behind it, on the strip.
double middle_of_hole_cm(int k) { return SimulatedCart::kFirstHoleCm + k * kPitchCm + SimulatedCart::kHoleWidthCm / 2; }
double middle_of_gap_cm(int k)
{
    return SimulatedCart::hole_trailing_edge_cm(k) + (kPitchCm - SimulatedCart::kHoleWidthCm) / 2;
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

    void cart_position_and_velocity_data();
    void cart_position_and_velocity();
    void time_at_position_is_the_inverse_of_position_data();
    void time_at_position_is_the_inverse_of_position();
    void places_the_cart_never_reaches_data();
    void places_the_cart_never_reaches();
    void holes_of_the_strip();

private:
    // Opens the port at kOpenAtNs and prepares the converter.
    void open_and_prepare();
    std::int16_t read_at(double seconds_after_open);

    std::unique_ptr<common::FakeClock> clock_;
    std::unique_ptr<converter::SimulatedConverter> device_;
};

void TestSimulatedConverter::init()
{
    clock_ = std::make_unique<common::FakeClock>(kOpenAtNs);
    device_ = std::make_unique<converter::SimulatedConverter>(*clock_);
    converter::use_lines(*device_);
}

void TestSimulatedConverter::cleanup()
{
    static converter::NoLines none;
    converter::use_lines(none);
    device_.reset();
    clock_.reset();
}

void TestSimulatedConverter::open_and_prepare()
{
    clock_->set_ns(kOpenAtNs);
    QVERIFY(converter::open_port("COM1"));
    QCOMPARE(device_->start_ns(), kOpenAtNs);
    converter::init_converter();
}

std::int16_t TestSimulatedConverter::read_at(double seconds_after_open)
{
    clock_->set_ns(kOpenAtNs + seconds_to_ns(seconds_after_open));
    return converter::read_converter(0);
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

    open_and_prepare();
    QVERIFY(seconds_after_open >= 0);
    const int reading = read_at(seconds_after_open);
    QVERIFY2(std::abs(reading - level) <= SimulatedCart::kNoiseAmplitude, qPrintable(QString::number(reading)));
}

void TestSimulatedConverter::noise_stays_within_its_amplitude()
{
    open_and_prepare();
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

    open_and_prepare();
    std::vector<std::int16_t> first;
    for (double t : times)
        first.push_back(read_at(t));

    // Open again much later: the cart starts afresh from the new open, noise sequence included.
    const std::int64_t later = 3'600'000'000'000;
    converter::close_port();
    clock_->set_ns(kOpenAtNs + later);
    QVERIFY(converter::open_port("COM1"));
    QCOMPARE(device_->start_ns(), kOpenAtNs + later);
    converter::init_converter();
    std::vector<std::int16_t> second;
    for (double t : times) {
        clock_->set_ns(kOpenAtNs + later + seconds_to_ns(t));
        second.push_back(converter::read_converter(0));
    }
    QCOMPARE(second, first);

    // An open on a port that is still open restarts it as well.
    QVERIFY(converter::open_port("COM1"));
    QCOMPARE(device_->start_ns(), kOpenAtNs + later + seconds_to_ns(5.0));
}

void TestSimulatedConverter::a_reading_takes_the_fewest_line_operations()
{
    open_and_prepare();
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
    QCOMPARE(converter::read_converter(0), std::int16_t{255});
    open_and_prepare();
    QVERIFY(read_at(0.0) < 255 - SimulatedCart::kNoiseAmplitude);
    converter::close_port();
    QCOMPARE(converter::read_converter(0), std::int16_t{255});
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
    // A pulse with DTR asserted is no start bit: the device shows busy for that one pulse only.
    pulse();
    QVERIFY(!ready());
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
    // Busy through the trailer and until the pulse after it, which is a reading's wait.
    pulse();
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

void TestSimulatedConverter::cart_position_and_velocity_data()
{
    QTest::addColumn<double>("v0");
    QTest::addColumn<double>("accel");
    QTest::addColumn<double>("release");
    QTest::addColumn<double>("t");
    QTest::addColumn<double>("position");
    QTest::addColumn<double>("velocity");

    // Times and motions are binary fractions, so every expected value is exact.
    QTest::newRow("before the release") << 20.0 << 60.0 << 0.25 << 0.125 << 0.0 << 0.0;
    QTest::newRow("at the release") << 20.0 << 60.0 << 0.25 << 0.25 << 0.0 << 0.0;
    QTest::newRow("accelerating, 0.5 s after the release") << 20.0 << 60.0 << 0.25 << 0.75 << 17.5 << 50.0;
    QTest::newRow("uniform, 2 s after the release") << 10.0 << 0.0 << 0.5 << 2.5 << 20.0 << 10.0;
    QTest::newRow("from rest, 1 s after the release") << 0.0 << 8.0 << 0.0 << 1.0 << 4.0 << 8.0;
    QTest::newRow("braking, still moving") << 30.0 << -20.0 << 0.0 << 1.0 << 20.0 << 10.0;
    QTest::newRow("braking, just stopped") << 30.0 << -20.0 << 0.0 << 1.5 << 22.5 << 0.0;
    QTest::newRow("braking, stopped and stays") << 30.0 << -20.0 << 0.0 << 10.0 << 22.5 << 0.0;
    QTest::newRow("braking from rest stays put") << 0.0 << -20.0 << 0.0 << 3.0 << 0.0 << 0.0;
}

void TestSimulatedConverter::cart_position_and_velocity()
{
    QFETCH(double, v0);
    QFETCH(double, accel);
    QFETCH(double, release);
    QFETCH(double, t);
    QFETCH(double, position);
    QFETCH(double, velocity);

    const SimulatedCart cart(CartMotion{v0, accel, release});
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

    QTest::newRow("a cart at rest") << 0.0 << 0.0 << 1.0;
    QTest::newRow("braking, beyond the stop") << 30.0 << -20.0 << 22.6;
    QTest::newRow("braking from rest") << 0.0 << -20.0 << 1.0;
    QTest::newRow("moving backwards uniformly") << -5.0 << 0.0 << 1.0;
}

void TestSimulatedConverter::places_the_cart_never_reaches()
{
    QFETCH(double, v0);
    QFETCH(double, accel);
    QFETCH(double, distance);

    const SimulatedCart cart(CartMotion{v0, accel, 0.0});
    QVERIFY(cart.time_at_position(distance) < 0);
    QVERIFY(cart.position_cm(1000.0) < distance);
}

void TestSimulatedConverter::holes_of_the_strip()
{
    // 60 cm of strip, the first hole from 1.0 cm, a 0.5 cm hole every 1.268 cm: the last hole that
    // fits whole is hole 46 (59.328 to 59.828 cm), so 47 holes.
    QCOMPARE(SimulatedCart::hole_count(), 47);
    QVERIFY(SimulatedCart::hole_trailing_edge_cm(46) < SimulatedCart::kStripLengthCm);
    QVERIFY(SimulatedCart::hole_trailing_edge_cm(47) > SimulatedCart::kStripLengthCm);
    QVERIFY(std::abs(SimulatedCart::hole_trailing_edge_cm(0) - 1.5) < 1e-12);
    QVERIFY(std::abs(SimulatedCart::hole_trailing_edge_cm(10) - 14.18) < 1e-12);

    for (int k = 0; k < SimulatedCart::hole_count(); ++k) {
        QVERIFY2(SimulatedCart::hole_at(middle_of_hole_cm(k)), qPrintable(QString::number(k)));
        QVERIFY2(!SimulatedCart::hole_at(middle_of_gap_cm(k)), qPrintable(QString::number(k)));
        // Just inside the edges of the hole, and just outside them.
        const double leading = SimulatedCart::hole_trailing_edge_cm(k) - SimulatedCart::kHoleWidthCm;
        QVERIFY(SimulatedCart::hole_at(leading + 0.01));
        QVERIFY(SimulatedCart::hole_at(SimulatedCart::hole_trailing_edge_cm(k) - 0.01));
        QVERIFY(!SimulatedCart::hole_at(leading - 0.01));
        QVERIFY(!SimulatedCart::hole_at(SimulatedCart::hole_trailing_edge_cm(k) + 0.01));
    }
    QVERIFY(!SimulatedCart::hole_at(0.0));
    QVERIFY(!SimulatedCart::hole_at(0.99));
    QVERIFY(!SimulatedCart::hole_at(middle_of_hole_cm(47)));
    QVERIFY(!SimulatedCart::hole_at(100.0));
    QVERIFY(!SimulatedCart::hole_at(-3.0));
}

QTEST_GUILESS_MAIN(TestSimulatedConverter)
#include "tst_simulated_converter.moc"
