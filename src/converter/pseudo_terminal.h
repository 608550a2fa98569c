// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A pseudo-terminal, open for as long as the object lives: a real terminal device whose
// modem-control ioctls fail at once. It stands in for a serial port without a converter when the
// real port's lines are tested or timed without any serial hardware. Windows has none: there the
// name is always empty.

#include <string>

namespace converter {

class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    // Device name of the slave side; empty when the system gave no pseudo-terminal.
    const std::string &slave_name() const { return slave_name_; }

private:
    int master_ = -1;
    std::string slave_name_;
};

}  // namespace converter
