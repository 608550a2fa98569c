// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A serial port used for data, as a board's USB serial port is: a speed, 8 data bits, no parity,
// one stop bit, bytes both ways. (The converter's port is never set up so: it uses only the
// modem-control lines.) On Linux through Qt's serial port class, on Windows with CreateFileA,
// SetCommState, SetCommTimeouts, ReadFile and WriteFile.

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace converter {

class DataPort {
public:
    virtual ~DataPort() = default;
    // Opens the named device for exclusive use at `baud`; false when it is not there or is busy.
    virtual bool open(const std::string &name, std::int32_t baud) = 0;
    virtual void close() = 0;
    virtual bool is_open() const = 0;
    virtual bool write(const QByteArray &bytes) = 0;
    // The bytes that came since the last call, without waiting; nothing once the port has failed
    // (the board pulled out).
    virtual std::optional<QByteArray> read() = 0;
};

// The system's data port.
std::unique_ptr<DataPort> make_data_port();
// The USB serial ports there are now (on Linux /dev/ttyACM* and /dev/ttyUSB*, on Windows the COM
// ports of USB devices): where a board may answer. Never a motherboard's own serial port.
std::vector<std::string> usb_serial_ports();

}  // namespace converter
