// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "converter/converter.h"

#include <chrono>

namespace converter {
namespace {

// Each wait for the converter's status gives up after this many clock pulses.
constexpr int kMaxWaitPulses = 21;

}  // namespace

LineConverter::LineConverter(SerialLines &lines) : lines_(&lines) { }

LineConverter::~LineConverter() { close_port(); }

void LineConverter::use_lines(SerialLines &lines)
{
    if (&lines == lines_)
        return;
    close_port();
    lines_ = &lines;
}

inline void LineConverter::count(bool succeeded)
{
    if (!succeeded)
        ++failures_;
}

inline ModemStatus LineConverter::query_status()
{
    // A failed query counts as no line asserted.
    const std::optional<ModemStatus> status = lines_->modem_status();
    count(status.has_value());
    return status.value_or(ModemStatus{});
}

inline bool LineConverter::wait_for_status(std::int16_t level)
{
    for (int pulse = 0; pulse < kMaxWaitPulses; ++pulse) {
        clock_pulse();
        if (status_bit() == level)
            return true;
    }
    return false;
}

inline void LineConverter::settle() const
{
    if (settle_us_ <= 0)
        return;
    // Busy-wait: a sleep would be rounded up to the scheduler's step, far longer than asked.
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(settle_us_);
    while (std::chrono::steady_clock::now() < until) { }
}

int LineConverter::convert(bool polarity_asserted, bool channel_asserted)
{
    // The wait, the four header bits, eight data bits and the trailer.
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

bool LineConverter::open_port(const std::string &name)
{
    if (port_handle_ != kInvalidPort)
        close_port();
    port_handle_ = lines_->open(name);
    failures_ = 0;
    return port_handle_ != kInvalidPort;
}

void LineConverter::close_port()
{
    if (port_handle_ == kInvalidPort)
        return;
    lines_->close();
    port_handle_ = kInvalidPort;
}

bool LineConverter::init_converter()
{
    // Both waits always run, so that the pulses are the same whether or not the converter answers.
    const bool ready = wait_for_status(0);
    const bool idle = wait_for_status(1);
    return ready && idle;
}

std::int16_t LineConverter::read_converter(std::int16_t channel)
{
    const bool channel_asserted = channel == 0;
    const int first = convert(true, channel_asserted);
    if (first != 0)
        return static_cast<std::int16_t>(first);
    return static_cast<std::int16_t>(-convert(false, channel_asserted));
}

void LineConverter::clock_pulse()
{
    count(lines_->set_rts(false));
    count(lines_->set_rts(true));
    settle();
}

void LineConverter::set_dtr() { count(lines_->set_dtr(true)); }

void LineConverter::clear_dtr() { count(lines_->set_dtr(false)); }

std::int16_t LineConverter::status_bit() { return query_status().cts ? 0 : 1; }

ConverterSession::ConverterSession(Converter &converter) : converter_(converter) { }

ConverterSession::~ConverterSession() { close(); }

std::optional<SessionFault> ConverterSession::open(const std::string &port_name)
{
    if (!converter_.open_port(port_name))
        return converter_.why_not_ready().value_or(SessionFault::CannotOpen);
    const bool answered = converter_.init_converter();
    const bool lines_failed = converter_.line_failures() > 0;
    if (lines_failed || !answered) {
        close();
        return converter_.why_not_ready().value_or(lines_failed ? SessionFault::LinesLost : SessionFault::Silent);
    }
    return std::nullopt;
}

std::int16_t ConverterSession::read() { return converter_.read_converter(0); }

bool ConverterSession::lines_in_order() const { return converter_.line_failures() == 0; }

void ConverterSession::close() { converter_.close_port(); }

}  // namespace converter
