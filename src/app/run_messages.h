// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// What the window says when a run could not start, or ended on a fault of its port or its board:
// the outcome of a run turned into one of the messages.
#pragma once

#include "acquisition/runs.h"
#include "converter/converter.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

namespace messages {

// The port a run used, as the messages name it: the one named on the command line, or the one a
// board answered on when it was looked for.
QString run_device(const std::string &named_port, converter::Converter &converter);

// Why the session did not start, for the port named `named_port` (empty: a board looked for).
QString session_fault(converter::SessionFault fault, const std::string &named_port, converter::Converter &converter);

// The message for a run that its port or its board ended; nothing for one that ended otherwise.
std::optional<QString> run_fault(
    const acquisition::MeasurementOutcome &outcome, std::int16_t period_ms, const QString &device);
std::optional<QString> run_fault(
    const acquisition::LiveOutcome &outcome, std::int16_t period_ms, const QString &device);

}  // namespace messages
