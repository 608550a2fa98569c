// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The lines of a real serial port. The device is opened for exclusive use (on Linux through Qt's
// serial port class, with its lock file; on Windows with CreateFileA and no sharing); the line
// operations go straight to the operating system.

#include "converter/device_name.h"
#include "converter/serial_lines.h"

#include <memory>
#include <string>

namespace converter {

class RealPortLines final : public SerialLines {
public:
    RealPortLines();
    ~RealPortLines() override;

    PortHandle open(const std::string &name) override;
    void close() override;
    bool set_rts(bool asserted) override;
    bool set_dtr(bool asserted) override;
    std::optional<ModemStatus> modem_status() override;

private:
    // What the platform keeps of the open device besides its handle.
    struct Device;
    std::unique_ptr<Device> device_;
    PortHandle handle_ = kInvalidPort;
};

}  // namespace converter
