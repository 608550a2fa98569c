// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Windows has no pseudo-terminals: the object gives no device, and the tests that want one skip.

#include "converter/pseudo_terminal.h"

namespace converter {

PseudoTerminal::PseudoTerminal() = default;

PseudoTerminal::~PseudoTerminal() = default;

}  // namespace converter
