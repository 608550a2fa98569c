// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Opening and closing the port through Qt's serial port class, which takes the device's lock file
// so that no other program uses the port meanwhile.

#include "converter/real_port.h"

#include <QSerialPort>

namespace converter {

struct RealPortLines::Device {
    QSerialPort port;
};

RealPortLines::RealPortLines() = default;

RealPortLines::~RealPortLines() { close(); }

PortHandle RealPortLines::open(const std::string &name)
{
    close();
    auto device = std::make_unique<Device>();
    device->port.setPortName(QString::fromStdString(device_name(name)));
    if (!device->port.open(QIODevice::ReadWrite))
        return kInvalidPort;
    // Qt's handle of an open port is the file descriptor here.
    handle_ = static_cast<PortHandle>(device->port.handle());
    device_ = std::move(device);
    return handle_;
}

void RealPortLines::close()
{
    if (device_)
        device_->port.close();
    device_.reset();
    handle_ = kInvalidPort;
}

}  // namespace converter
