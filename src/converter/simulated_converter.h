#pragma once

// A converter behind simulated modem-control lines. The device model answers on CTS and DSR to the
// clock on RTS and the header bits on DTR as the real converter does, so a reading goes through the
// exact line sequence of read_converter:
//  - idle, it shows ready (CTS asserted); a clock pulse with DTR de-asserted is the start bit, and
//    it then shows busy (CTS de-asserted) until its trailer has passed;
//  - it takes three more header bits on the next pulses: a select bit (must be asserted), the
//    polarity (asserted: converts the positive part of the input, de-asserted: the negative part)
//    and the channel (asserted: channel 0, the light sensor; de-asserted: channel 1, unconnected);
//  - it converts on the fourth header pulse, shifts the eight bits out on DSR one per pulse, most
//    significant first (DSR not asserted = 1), and shows busy after three trailer pulses until the
//    next pulse makes it ready again;
//  - a pulse while it is ready, without a start bit, makes it busy for one pulse: this is how it
//    answers the preparation, which clocks it until it shows ready and then until it shows busy.
// Opening the port starts the simulated cart afresh; the sensor is read at the moment of the
// conversion on the given clock.

#include "common/clock.h"
#include "converter/serial_lines.h"
#include "converter/simulated_cart.h"

#include <cstdint>

namespace converter {

// Faults of a real set-up that the simulation can show, so that the program's answers to them can
// be seen and tested without the hardware.
struct SimulatedFaults {
    // Real time each line operation and status query costs, in microseconds, as on a USB adapter.
    std::int32_t line_cost_us = 0;
    // An adapter with nothing connected: CTS and DSR are never asserted.
    bool no_converter = false;
    // Every line operation fails from this many seconds after the port was opened, as when the
    // cable is pulled out; negative: never.
    double unplug_after_s = -1.0;
};

class SimulatedConverter final : public SerialLines {
public:
    SimulatedConverter(
        const common::Clock &clock, CartMotion motion = {}, std::uint32_t noise_seed = 1, SimulatedFaults faults = {});

    PortHandle open(const std::string &name) override;
    void close() override;
    bool set_rts(bool asserted) override;
    bool set_dtr(bool asserted) override;
    std::optional<ModemStatus> modem_status() override;

    SimulatedCart &cart() { return cart_; }
    // Clock time of the last open, in ns: the cart's start.
    std::int64_t start_ns() const { return start_ns_; }
    // Line operations and status queries since construction.
    std::uint64_t line_operations() const { return line_operations_; }
    std::uint64_t conversions() const { return conversions_; }

private:
    enum class Phase { Ready, Header, Data, Trailer, Settling };

    void clock_edge();
    int convert();

    const common::Clock &clock_;
    SimulatedCart cart_;
    SimulatedFaults faults_;
    bool open_ = false;
    bool rts_ = true;
    bool dtr_ = true;
    bool dsr_ = false;
    Phase phase_ = Phase::Ready;
    int count_ = 0;  // header bits received, data bits sent, or trailer pulses seen
    bool header_[4] = {};
    int value_ = 0;  // the conversion being shifted out
    std::int64_t start_ns_ = 0;
    std::uint64_t line_operations_ = 0;
    std::uint64_t conversions_ = 0;
};

}  // namespace converter
