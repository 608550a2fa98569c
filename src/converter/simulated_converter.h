// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A converter behind simulated modem-control lines. The device model answers on CTS and DSR to the
// clock on RTS and the header bits on DTR as the real converter does, so a reading goes through the
// exact line sequence of read_converter:
//  - idle, it shows ready (CTS asserted); a clock pulse with DTR de-asserted is the start bit, and
//    it then shows busy (CTS de-asserted) until its trailer has passed;
//  - clocked while idle with DTR asserted, it shows busy from the second such pulse in a row until
//    the next pulse: the answer that init_converter waits for (ready, then busy). A reading never
//    gives two such pulses in a row, since its wait ends at the first pulse that finds it ready;
//  - it takes three more header bits on the next pulses: a select bit (must be asserted), the
//    polarity (asserted: converts the positive part of the input, de-asserted: the negative part)
//    and the channel (asserted: channel 0, the light sensor; de-asserted: channel 1, unconnected);
//  - it converts on the fourth header pulse, shifts the eight bits out on DSR one per pulse, most
//    significant first (DSR not asserted = 1), and is ready again after three trailer pulses.
// Opening the port starts the simulated cart afresh; the sensor is read at the moment of the
// conversion on the given clock.
//
// With faults (SimulatedFaults) it behaves as a set-up that is not right: each line operation can
// take time, as on a USB adapter; the adapter can have nothing connected to it; and the cable can
// be pulled out a while after the open, from when on every line operation fails until the next
// open (the cable plugged in again).

#include "common/clock.h"
#include "converter/serial_lines.h"
#include "converter/simulated_cart.h"

#include <cstdint>
#include <functional>
#include <utility>

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
    // Spends the given time, in ns, before it returns.
    using SpendTime = std::function<void(std::int64_t ns)>;

    SimulatedConverter(
        const common::Clock &clock, CartMotion motion = {}, std::uint32_t noise_seed = 1, SimulatedFaults faults = {});

    // How the cost of a line operation is spent. By default it is a busy wait on the steady clock,
    // real time as on an adapter; a test on a fake clock passes one that moves its clock on.
    void set_spend_time(SpendTime spend_time) { spend_time_ = std::move(spend_time); }

    PortHandle open(const std::string &name) override;
    void close() override;
    bool set_rts(bool asserted) override;
    bool set_dtr(bool asserted) override;
    std::optional<ModemStatus> modem_status() override;

    SimulatedCart &cart() { return cart_; }
    // Clock time of the last open, in ns: the cart's start.
    std::int64_t start_ns() const { return start_ns_; }
    // Line operations and status queries since construction, the failed ones included.
    std::uint64_t line_operations() const { return line_operations_; }
    std::uint64_t conversions() const { return conversions_; }

private:
    enum class Phase { Ready, Answer, Header, Data, Trailer };

    // Counts a line operation and tells whether it reaches the device: false when the port is
    // closed or the cable pulled out. One that does reach it costs the line cost first.
    bool reaches_device();
    bool unplugged() const;
    void clock_edge();
    int convert();

    const common::Clock &clock_;
    SimulatedCart cart_;
    SimulatedFaults faults_;
    SpendTime spend_time_;
    bool open_ = false;
    bool rts_ = true;
    bool dtr_ = true;
    bool dsr_ = false;
    Phase phase_ = Phase::Ready;
    int count_ = 0;  // idle pulses in a row, header bits received, data bits sent, or trailer pulses seen
    bool header_[4] = {};
    int value_ = 0;  // the conversion being shifted out
    std::int64_t start_ns_ = 0;
    std::uint64_t line_operations_ = 0;
    std::uint64_t conversions_ = 0;
};

}  // namespace converter
