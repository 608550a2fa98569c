// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The four modem-control lines of a serial port, the only part of the port the converter uses:
// RTS and DTR are outputs, CTS and DSR inputs. The real port, the simulated converter and the
// recording fake of the tests implement this interface.

#include <cstdint>
#include <optional>
#include <string>

namespace converter {

using PortHandle = std::intptr_t;
inline constexpr PortHandle kInvalidPort = -1;

struct ModemStatus {
    bool cts = false;  // clear to send: the converter's status output
    bool dsr = false;  // data set ready: the converter's data output
};

class SerialLines {
public:
    virtual ~SerialLines() = default;

    // Opens the named device for exclusive use, only if it exists. Returns its handle, or
    // kInvalidPort when the device is missing or held by another program.
    virtual PortHandle open(const std::string &name) = 0;
    // Closes the device; does nothing when none is open.
    virtual void close() = 0;
    // Asserts (true) or de-asserts (false) an output line. False when the operation failed.
    virtual bool set_rts(bool asserted) = 0;
    virtual bool set_dtr(bool asserted) = 0;
    // The input lines; nothing when the query failed.
    virtual std::optional<ModemStatus> modem_status() = 0;
};

// Lines of a port that never opens: the state before any port is chosen.
class NoLines final : public SerialLines {
public:
    PortHandle open(const std::string &) override { return kInvalidPort; }
    void close() override { }
    bool set_rts(bool) override { return false; }
    bool set_dtr(bool) override { return false; }
    std::optional<ModemStatus> modem_status() override { return std::nullopt; }
};

}  // namespace converter
