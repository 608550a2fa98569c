#include "converter/converter.h"

namespace converter {
namespace {

NoLines no_lines;
SerialLines *lines = &no_lines;

// Each wait for the converter's status gives up after this many clock pulses.
constexpr int kMaxWaitPulses = 21;

ModemStatus query_status()
{
    // A failed query counts as no line asserted.
    return lines->modem_status().value_or(ModemStatus{});
}

// One conversion: the wait, the four header bits, eight data bits and the trailer.
int convert(bool polarity_asserted, bool channel_asserted)
{
    for (int pulse = 0; pulse < kMaxWaitPulses; ++pulse) {
        clock_pulse();
        if (status_bit() == 0)
            break;
    }

    clear_dtr();  // start
    clock_pulse();
    set_dtr();
    clock_pulse();
    polarity_asserted ? set_dtr() : clear_dtr();
    clock_pulse();
    channel_asserted ? set_dtr() : clear_dtr();
    clock_pulse();

    int value = 0;
    for (int bit = 7; bit >= 0; --bit) {
        clock_pulse();
        if (!query_status().dsr)
            value += 1 << bit;
    }

    for (int pulse = 0; pulse < 3; ++pulse)
        clock_pulse();
    return value;
}

}  // namespace

PortHandle port_handle = kInvalidPort;

void use_lines(SerialLines &new_lines)
{
    if (&new_lines == lines)
        return;
    close_port();
    lines = &new_lines;
}

SerialLines &current_lines() { return *lines; }

bool open_port(const std::string &name)
{
    if (port_handle != kInvalidPort)
        close_port();
    port_handle = lines->open(name);
    return port_handle != kInvalidPort;
}

void close_port()
{
    if (port_handle == kInvalidPort)
        return;
    lines->close();
    port_handle = kInvalidPort;
}

void init_converter()
{
    for (int pulse = 0; pulse < kMaxWaitPulses; ++pulse) {
        clock_pulse();
        if (status_bit() == 0)
            break;
    }
    for (int pulse = 0; pulse < kMaxWaitPulses; ++pulse) {
        clock_pulse();
        if (status_bit() == 1)
            break;
    }
}

std::int16_t read_converter(std::int16_t channel)
{
    const bool channel_asserted = channel == 0;
    const int first = convert(true, channel_asserted);
    if (first != 0)
        return static_cast<std::int16_t>(first);
    return static_cast<std::int16_t>(-convert(false, channel_asserted));
}

void clock_pulse()
{
    lines->set_rts(false);
    lines->set_rts(true);
}

void set_dtr() { lines->set_dtr(true); }

void clear_dtr() { lines->set_dtr(false); }

std::int16_t status_bit() { return query_status().cts ? 0 : 1; }

}  // namespace converter
