// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "run_messages.h"

#include "converter/board_converter.h"
#include "converter/device_name.h"
#include "messages.h"

#include <type_traits>

namespace messages {

QString run_device(const std::string &named_port, converter::Converter &converter)
{
    const converter::StreamingConverter *board = converter.streaming();
    const std::string port = board && named_port.empty() ? board->port_name() : named_port;
    return QString::fromStdString(converter::device_name(port));
}

QString session_fault(converter::SessionFault fault, const std::string &named_port, converter::Converter &converter)
{
    switch (fault) {
    case converter::SessionFault::CannotOpen:
        return port_cannot_open(run_device(named_port, converter));
    case converter::SessionFault::LinesLost:
        return port_lost(run_device(named_port, converter));
    case converter::SessionFault::Silent:
        return converter_silent();
    case converter::SessionFault::NoBoard:
        return board_not_found(named_port.empty() ? QString() : run_device(named_port, converter));
    case converter::SessionFault::OtherFirmware: {
        const converter::StreamingConverter *board = converter.streaming();
        return board_other_firmware(
            board ? board->other_firmware().value_or(QString()) : QString(), converter::kBoardFirmware);
    }
    }
    return converter_silent();
}

namespace {

// Both runs name the board's faults with the same kinds; a measurement also knows when the reading
// that did not come was due.
template <typename Outcome>
std::optional<QString> fault_of(const Outcome &outcome, std::int16_t period_ms, const QString &device)
{
    using Kind = typename Outcome::Kind;
    switch (outcome.kind) {
    case Kind::PortLost:
        return port_lost(device);
    case Kind::ReadingLost:
        if constexpr (std::is_same_v<Outcome, acquisition::MeasurementOutcome>)
            // The first reading that did not come was due this long after the first.
            return board_reading_lost(outcome.first_missing * (period_ms / 1000.0), outcome.noise);
        else
            return board_reading_lost(std::nullopt, outcome.noise);
    case Kind::BoardOverflow:
        return board_overflow(period_ms);
    case Kind::BoardSilent:
        return board_silent();
    default:
        return std::nullopt;
    }
}

}  // namespace

std::optional<QString> run_fault(
    const acquisition::MeasurementOutcome &outcome, std::int16_t period_ms, const QString &device)
{
    return fault_of(outcome, period_ms, device);
}

std::optional<QString> run_fault(const acquisition::LiveOutcome &outcome, std::int16_t period_ms, const QString &device)
{
    return fault_of(outcome, period_ms, device);
}

}  // namespace messages
