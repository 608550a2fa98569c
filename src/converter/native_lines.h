// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The line operations straight on the operating system's handle of an open serial port: one
// system call each. (Qt's own setters read the lines back before every change, which would double
// the calls of a protocol that makes up to 152 line operations a reading.)

#include "converter/serial_lines.h"

#include <optional>

namespace converter::native {

enum class OutputLine { Rts, Dtr };

bool set_line(PortHandle handle, OutputLine line, bool asserted);
std::optional<ModemStatus> modem_status(PortHandle handle);

}  // namespace converter::native
