// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "converter/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace converter {

PseudoTerminal::PseudoTerminal()
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        return;
    if (const char *name = ::ptsname(master_))
        slave_name_ = name;
}

PseudoTerminal::~PseudoTerminal()
{
    if (master_ >= 0)
        ::close(master_);
}

}  // namespace converter
