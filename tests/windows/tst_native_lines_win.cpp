// The converter link on Windows, without Qt, run under Wine: the protocol over the simulated
// converter, and the native line operations of native_lines_win.cpp on handles that are no serial
// port (a file, an event, the failed open of a COM port that does not exist). There every line
// operation must fail, and the protocol must finish and read 255, as with no converter attached.
// Prints one line per check; the exit code is the number of failed checks.

#include "common/clock.h"
#include "converter/converter.h"
#include "converter/device_name.h"
#include "converter/native_lines.h"
#include "converter/serial_lines.h"
#include "converter/simulated_cart.h"
#include "converter/simulated_converter.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using converter::PortHandle;
using converter::native::OutputLine;

namespace {

int failures = 0;

void check(bool passed, const std::string &what)
{
    std::printf("%s: %s\n", passed ? "PASS" : "FAIL", what.c_str());
    if (!passed)
        ++failures;
}

PortHandle port_handle_of(HANDLE handle) { return reinterpret_cast<PortHandle>(handle); }

// The lines of a handle the test opened itself, driven as the real port drives Qt's handle.
class HandleLines final : public converter::SerialLines {
public:
    explicit HandleLines(HANDLE handle) : handle_(port_handle_of(handle)) { }
    PortHandle open(const std::string &) override { return handle_; }
    void close() override { }
    bool set_rts(bool asserted) override { return converter::native::set_line(handle_, OutputLine::Rts, asserted); }
    bool set_dtr(bool asserted) override { return converter::native::set_line(handle_, OutputLine::Dtr, asserted); }
    std::optional<converter::ModemStatus> modem_status() override { return converter::native::modem_status(handle_); }

private:
    PortHandle handle_;
};

void use_no_lines()
{
    static converter::NoLines none;
    converter::use_lines(none);
}

void every_operation_fails(HANDLE handle, const std::string &what)
{
    const PortHandle port = port_handle_of(handle);
    check(!converter::native::set_line(port, OutputLine::Rts, true), what + ": asserting RTS fails");
    check(!converter::native::set_line(port, OutputLine::Rts, false), what + ": de-asserting RTS fails");
    check(!converter::native::set_line(port, OutputLine::Dtr, true), what + ": asserting DTR fails");
    check(!converter::native::set_line(port, OutputLine::Dtr, false), what + ": de-asserting DTR fails");
    check(!converter::native::modem_status(port).has_value(), what + ": the modem status query fails");

    HandleLines lines(handle);
    converter::use_lines(lines);
    converter::open_port("COM199");
    const bool answered = converter::init_converter();
    const std::int16_t reading = converter::read_converter(0);
    const std::uint64_t failures = converter::line_failures();
    converter::close_port();
    use_no_lines();
    check(!answered, what + ": no converter answers");
    check(reading == 255, what + ": the protocol reads 255 (read " + std::to_string(reading) + ")");
    check(failures > 0, what + ": the failed line operations are counted");
}

void protocol_on_the_simulated_converter()
{
    // At the open the strip has not moved: the sensor is dark, within the simulated noise.
    common::FakeClock clock(1'000'000'000);
    converter::SimulatedConverter device(clock);
    converter::use_lines(device);
    check(converter::open_port("COM1"), "simulated converter: the port opens");
    check(converter::init_converter(), "simulated converter: it answers");
    // With a settle time after each pulse (the steady-clock wait of Windows) the reading is the same.
    converter::set_settle_us(1);
    const int reading = converter::read_converter(0);
    converter::set_settle_us(0);
    const std::uint64_t failures = converter::line_failures();
    converter::close_port();
    use_no_lines();
    check(failures == 0, "simulated converter: no failed line operation");
    check(std::abs(reading - converter::SimulatedCart::kDarkReading) <= converter::SimulatedCart::kNoiseAmplitude,
        "simulated converter: a dark reading (read " + std::to_string(reading) + ")");
    check(device.conversions() == 1, "simulated converter: one conversion");
}

void a_file_is_no_port()
{
    char directory[MAX_PATH];
    char path[MAX_PATH];
    const bool named = GetTempPathA(MAX_PATH, directory) != 0 && GetTempFileNameA(directory, "udk", 0, path) != 0;
    check(named, "a temporary file is named");
    if (!named)
        return;
    const HANDLE file = CreateFileA(
        path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    check(file != INVALID_HANDLE_VALUE, "the temporary file opens");
    if (file == INVALID_HANDLE_VALUE)
        return;
    every_operation_fails(file, "a file");
    CloseHandle(file);
}

void an_event_is_no_port()
{
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    check(event != nullptr, "an event is created");
    if (event == nullptr)
        return;
    every_operation_fails(event, "an event");
    CloseHandle(event);
}

void a_missing_com_port()
{
    // The program opens its port as "COMn"; the \\.\ prefix reaches ports above COM9 as well.
    // Far above the ports any machine has, so that no real device is ever touched.
    const std::string device = "\\\\.\\" + converter::device_name("COM199");
    const HANDLE port
        = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    check(port == INVALID_HANDLE_VALUE, "COM199 does not open");
    if (port != INVALID_HANDLE_VALUE) {
        CloseHandle(port);
        return;
    }
    check(port_handle_of(port) == converter::kInvalidPort, "the failed open is kInvalidPort");
    every_operation_fails(port, "COM199");
}

void port_names()
{
    struct Row {
        const char *port_name;
        const char *device;
    };
    for (const Row &row :
        {Row{"COM1", "COM1"}, Row{"COM10", "COM10"}, Row{"com3", "com3"}, Row{"\\\\.\\COM12", "\\\\.\\COM12"}}) {
        const std::string device = converter::device_name(row.port_name);
        check(device == row.device, std::string("device_name(") + row.port_name + ") is " + device);
    }
}

}  // namespace

int main()
{
    protocol_on_the_simulated_converter();
    a_file_is_no_port();
    an_event_is_no_port();
    a_missing_com_port();
    port_names();
    std::printf("%d failed\n", failures);
    return failures;
}
