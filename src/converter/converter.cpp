// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "converter/converter.h"

#include <chrono>

namespace converter {
namespace {

NoLines no_lines;
SerialLines *lines = &no_lines;

// Each wait for the converter's status gives up after this many clock pulses.
constexpr int kMaxWaitPulses = 21;

std::uint64_t failures = 0;
std::int32_t settle_time_us = 0;

void count(bool succeeded)
{
    if (!succeeded)
        ++failures;
}

ModemStatus query_status()
{
    // A failed query counts as no line asserted.
    const std::optional<ModemStatus> status = lines->modem_status();
    count(status.has_value());
    return status.value_or(ModemStatus{});
}

// Clocks until the status reads `level`; true when it did before the pulses ran out.
bool wait_for_status(std::int16_t level)
{
    for (int pulse = 0; pulse < kMaxWaitPulses; ++pulse) {
        clock_pulse();
        if (status_bit() == level)
            return true;
    }
    return false;
}

void settle()
{
    if (settle_time_us <= 0)
        return;
    // Busy-wait: a sleep would be rounded up to the scheduler's step, far longer than asked.
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(settle_time_us);
    while (std::chrono::steady_clock::now() < until) { }
}

// One conversion: the wait, the four header bits, eight data bits and the trailer.
int convert(bool polarity_asserted, bool channel_asserted)
{
    wait_for_status(0);

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
    failures = 0;
    return port_handle != kInvalidPort;
}

void close_port()
{
    if (port_handle == kInvalidPort)
        return;
    lines->close();
    port_handle = kInvalidPort;
}

bool init_converter()
{
    // Both waits always run, so that the pulses are the same whether or not the converter answers.
    const bool ready = wait_for_status(0);
    const bool idle = wait_for_status(1);
    return ready && idle;
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
    count(lines->set_rts(false));
    count(lines->set_rts(true));
    settle();
}

void set_dtr() { count(lines->set_dtr(true)); }

void clear_dtr() { count(lines->set_dtr(false)); }

std::int16_t status_bit() { return query_status().cts ? 0 : 1; }

std::uint64_t line_failures() { return failures; }

void set_settle_us(std::int32_t microseconds) { settle_time_us = microseconds > 0 ? microseconds : 0; }

std::int32_t settle_us() { return settle_time_us; }

}  // namespace converter
