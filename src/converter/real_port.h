#pragma once

// The lines of a real serial port. Qt's serial port class opens the device (exclusively, with its
// lock file) and closes it; the line operations go straight to the operating system.

#include "converter/device_name.h"
#include "converter/serial_lines.h"

#include <memory>
#include <string>

class QSerialPort;

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
    std::unique_ptr<QSerialPort> port_;
    PortHandle handle_ = kInvalidPort;
};

}  // namespace converter
