// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "converter/simulated_converter.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace converter {
namespace {

// Busy-waits: a sleep would be rounded up to the scheduler's step, far longer than a line
// operation of a fast adapter.
void busy_wait(std::int64_t ns)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::nanoseconds(ns);
    while (std::chrono::steady_clock::now() < until) { }
}

}  // namespace

SimulatedConverter::SimulatedConverter(
    const common::Clock &clock, CartMotion motion, std::uint32_t noise_seed, SimulatedFaults faults)
    : clock_(clock), cart_(motion, noise_seed), faults_(faults), spend_time_(busy_wait)
{ }

PortHandle SimulatedConverter::open(const std::string &)
{
    // Like a serial driver, opening raises RTS and DTR; the device is idle and ready.
    open_ = true;
    rts_ = true;
    dtr_ = true;
    dsr_ = false;
    phase_ = Phase::Ready;
    count_ = 0;
    start_ns_ = clock_.now_ns();
    cart_.restart();
    return 1;
}

void SimulatedConverter::close() { open_ = false; }

bool SimulatedConverter::reaches_device()
{
    ++line_operations_;
    if (!open_ || unplugged())
        return false;
    // The operation completes only after its cost, as a USB control transfer does.
    if (faults_.line_cost_us > 0 && spend_time_)
        spend_time_(static_cast<std::int64_t>(faults_.line_cost_us) * 1000);
    return true;
}

bool SimulatedConverter::unplugged() const
{
    if (faults_.unplug_after_s < 0)
        return false;
    const auto unplug_ns = static_cast<std::int64_t>(std::llround(faults_.unplug_after_s * 1e9));
    return clock_.now_ns() - start_ns_ >= unplug_ns;
}

bool SimulatedConverter::set_rts(bool asserted)
{
    if (!reaches_device())
        return false;
    const bool rising = asserted && !rts_;
    rts_ = asserted;
    // With nothing connected, nothing answers the clock.
    if (rising && !faults_.no_converter)
        clock_edge();
    return true;
}

bool SimulatedConverter::set_dtr(bool asserted)
{
    if (!reaches_device())
        return false;
    dtr_ = asserted;
    return true;
}

std::optional<ModemStatus> SimulatedConverter::modem_status()
{
    if (!reaches_device())
        return std::nullopt;
    if (faults_.no_converter)
        return ModemStatus{false, false};
    return ModemStatus{phase_ == Phase::Ready, dsr_};
}

void SimulatedConverter::clock_edge()
{
    switch (phase_) {
    case Phase::Ready:
        if (!dtr_) {
            header_[0] = dtr_;
            count_ = 1;
            phase_ = Phase::Header;
        } else if (++count_ == 2) {
            phase_ = Phase::Answer;
        }
        break;
    case Phase::Answer:
        count_ = 0;
        phase_ = Phase::Ready;
        break;
    case Phase::Header:
        header_[count_++] = dtr_;
        if (count_ == 4) {
            value_ = convert();
            count_ = 7;
            phase_ = Phase::Data;
        }
        break;
    case Phase::Data:
        dsr_ = ((value_ >> count_) & 1) == 0;
        if (--count_ < 0) {
            count_ = 0;
            phase_ = Phase::Trailer;
        }
        break;
    case Phase::Trailer:
        if (++count_ == 3) {
            count_ = 0;
            phase_ = Phase::Ready;
        }
        break;
    }
}

int SimulatedConverter::convert()
{
    ++conversions_;
    const bool selected = header_[1];
    const bool positive = header_[2];
    const bool channel_0 = header_[3];
    if (!selected)
        return 0;
    const double t_s = static_cast<double>(clock_.now_ns() - start_ns_) * 1e-9;
    // Channel 1 has nothing connected.
    const int input = channel_0 ? cart_.sensor_reading(t_s) : 0;
    return std::clamp(positive ? input : -input, 0, 255);
}

}  // namespace converter
