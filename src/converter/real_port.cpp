#include "converter/real_port.h"

#include "converter/native_lines.h"

#include <QSerialPort>

#include <regex>

namespace converter {

RealPortLines::RealPortLines() = default;

RealPortLines::~RealPortLines() { close(); }

PortHandle RealPortLines::open(const std::string &name)
{
    close();
    port_ = std::make_unique<QSerialPort>();
    port_->setPortName(QString::fromStdString(device_name(name)));
    if (!port_->open(QIODevice::ReadWrite)) {
        port_.reset();
        return kInvalidPort;
    }
    handle_ = static_cast<PortHandle>(port_->handle());
    return handle_;
}

void RealPortLines::close()
{
    if (port_)
        port_->close();
    port_.reset();
    handle_ = kInvalidPort;
}

bool RealPortLines::set_rts(bool asserted)
{
    return handle_ != kInvalidPort && native::set_line(handle_, native::OutputLine::Rts, asserted);
}

bool RealPortLines::set_dtr(bool asserted)
{
    return handle_ != kInvalidPort && native::set_line(handle_, native::OutputLine::Dtr, asserted);
}

std::optional<ModemStatus> RealPortLines::modem_status()
{
    if (handle_ == kInvalidPort)
        return std::nullopt;
    return native::modem_status(handle_);
}

std::string device_name(const std::string &port_name)
{
#ifdef _WIN32
    return port_name;
#else
    static const std::regex com_name(R"(COM([1-9][0-9]?))", std::regex::icase);
    std::smatch match;
    if (std::regex_match(port_name, match, com_name))
        return "/dev/ttyS" + std::to_string(std::stoi(match[1].str()) - 1);
    return port_name;
#endif
}

}  // namespace converter
