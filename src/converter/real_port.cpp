// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "converter/real_port.h"

#include "converter/native_lines.h"

namespace converter {

bool RealPortLines::set_rts(bool asserted)
{
    return handle_ != kInvalidPort && native::set_line(handle_, native::OutputLine::Rts, asserted);
}

bool RealPortLines::set_dtr(bool asserted)
{
    return handle_ != kInvalidPort && native::set_line(handle_, native::OutputLine::Dtr, asserted);
}

std::optional<ModemStatus> RealPortLines::modem_status()
{
    if (handle_ == kInvalidPort)
        return std::nullopt;
    return native::modem_status(handle_);
}

}  // namespace converter
