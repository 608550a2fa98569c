// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "converter/native_lines.h"

#include <sys/ioctl.h>
#include <termios.h>

namespace converter::native {

bool set_line(PortHandle handle, OutputLine line, bool asserted)
{
    int bits = line == OutputLine::Rts ? TIOCM_RTS : TIOCM_DTR;
    return ::ioctl(static_cast<int>(handle), asserted ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

std::optional<ModemStatus> modem_status(PortHandle handle)
{
    int bits = 0;
    if (::ioctl(static_cast<int>(handle), TIOCMGET, &bits) != 0)
        return std::nullopt;
    return ModemStatus{(bits & TIOCM_CTS) != 0, (bits & TIOCM_DSR) != 0};
}

}  // namespace converter::native
