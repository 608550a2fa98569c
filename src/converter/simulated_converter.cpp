#include "converter/simulated_converter.h"

#include <algorithm>

namespace converter {

SimulatedConverter::SimulatedConverter(
    const common::Clock &clock, CartMotion motion, std::uint32_t noise_seed, SimulatedFaults faults)
    : clock_(clock), cart_(motion, noise_seed), faults_(faults)
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

bool SimulatedConverter::set_rts(bool asserted)
{
    ++line_operations_;
    if (!open_)
        return false;
    const bool rising = asserted && !rts_;
    rts_ = asserted;
    if (rising)
        clock_edge();
    return true;
}

bool SimulatedConverter::set_dtr(bool asserted)
{
    ++line_operations_;
    if (!open_)
        return false;
    dtr_ = asserted;
    return true;
}

std::optional<ModemStatus> SimulatedConverter::modem_status()
{
    ++line_operations_;
    if (!open_)
        return std::nullopt;
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
        } else {
            phase_ = Phase::Settling;
        }
        break;
    case Phase::Settling:
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
        if (++count_ == 3)
            phase_ = Phase::Settling;
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
