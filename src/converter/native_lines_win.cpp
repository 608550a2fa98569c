// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "converter/native_lines.h"

#include <windows.h>

namespace converter::native {

bool set_line(PortHandle handle, OutputLine line, bool asserted)
{
    const DWORD function = line == OutputLine::Rts ? (asserted ? SETRTS : CLRRTS) : (asserted ? SETDTR : CLRDTR);
    return EscapeCommFunction(reinterpret_cast<HANDLE>(handle), function) != 0;
}

std::optional<ModemStatus> modem_status(PortHandle handle)
{
    DWORD bits = 0;
    if (!GetCommModemStatus(reinterpret_cast<HANDLE>(handle), &bits))
        return std::nullopt;
    return ModemStatus{(bits & MS_CTS_ON) != 0, (bits & MS_DSR_ON) != 0};
}

}  // namespace converter::native
