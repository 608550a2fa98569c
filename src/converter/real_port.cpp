#include "converter/real_port.h"

#include "converter/native_lines.h"

#include <QSerialPort>

#include <type_traits>

namespace converter {
namespace {

// Qt's handle of an open port is the file descriptor (an int) on Unix and the HANDLE (a void
// pointer) on Windows; both fit the integer the line operations take.
template <typename QtHandle> PortHandle to_port_handle(QtHandle handle)
{
    if constexpr (std::is_pointer_v<QtHandle>)
        return reinterpret_cast<PortHandle>(handle);
    else
        return static_cast<PortHandle>(handle);
}

}  // namespace

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
    handle_ = to_port_handle(port_->handle());
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

}  // namespace converter
