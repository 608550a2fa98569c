// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "converter/data_port.h"

#include "converter/device_name.h"

#include <QSerialPort>
#include <QSerialPortInfo>

namespace converter {
namespace {

class QtDataPort final : public DataPort {
public:
    bool open(const std::string &name, std::int32_t baud) override
    {
        close();
        port_.setPortName(QString::fromStdString(device_name(name)));
        if (!port_.open(QIODevice::ReadWrite))
            return false;
        if (!port_.setBaudRate(baud) || !port_.setDataBits(QSerialPort::Data8)
            || !port_.setParity(QSerialPort::NoParity) || !port_.setStopBits(QSerialPort::OneStop)
            || !port_.setFlowControl(QSerialPort::NoFlowControl)) {
            port_.close();
            return false;
        }
        port_.clear();
        return true;
    }
    void close() override
    {
        if (port_.isOpen())
            port_.close();
    }
    bool is_open() const override { return port_.isOpen(); }
    bool write(const QByteArray &bytes) override
    {
        if (!port_.isOpen() || port_.write(bytes) != bytes.size())
            return false;
        port_.waitForBytesWritten(100);
        return true;
    }
    std::optional<QByteArray> read() override
    {
        if (!port_.isOpen())
            return std::nullopt;
        // Takes what the system holds without waiting; an event loop is not needed for it.
        port_.waitForReadyRead(0);
        const QByteArray bytes = port_.readAll();
        if (port_.error() == QSerialPort::ResourceError || port_.error() == QSerialPort::ReadError)
            return std::nullopt;
        port_.clearError();
        return bytes;
    }

private:
    QSerialPort port_;
};

}  // namespace

std::unique_ptr<DataPort> make_data_port() { return std::make_unique<QtDataPort>(); }

std::vector<std::string> usb_serial_ports()
{
    std::vector<std::string> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        const QString name = info.portName();
        if (name.startsWith(QStringLiteral("ttyACM")) || name.startsWith(QStringLiteral("ttyUSB")))
            ports.push_back(info.systemLocation().toStdString());
    }
    return ports;
}

}  // namespace converter
