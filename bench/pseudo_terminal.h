#pragma once

// A pseudo-terminal: a real terminal device whose modem-control ioctls fail at once, which lets
// the real port's line operations be timed without any serial hardware.

#include <string>

namespace bench {

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

}  // namespace bench
