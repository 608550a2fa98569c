// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The lines of a real serial port. A port that does not exist, a pseudo-terminal (a real terminal
// device without modem-control lines) on Linux, and handles that are no port at all (a file, an
// event) on Windows stand in for ports without a converter; a real port with a converter is tested
// only when UNDOU_TEST_PORT names one. On Windows the test runs under Wine as well.

#include "converter/converter.h"
#include "converter/native_lines.h"
#include "converter/pseudo_terminal.h"
#include "converter/real_port.h"

#include <QTest>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdlib>
#include <memory>

using converter::PseudoTerminal;

namespace {

// Far above the ports any machine has, so that no real device is ever touched.
#ifdef _WIN32
const std::string kMissingPort = "COM199";
#else
const std::string kMissingPort = "/dev/ttyNONEXISTENT0";
#endif

// The lines of a handle the test opened itself, driven as the real port drives its own handle.
class HandleLines final : public converter::SerialLines {
public:
    explicit HandleLines(converter::PortHandle handle) : handle_(handle) { }
    converter::PortHandle open(const std::string &) override { return handle_; }
    void close() override { }
    bool set_rts(bool asserted) override
    {
        return converter::native::set_line(handle_, converter::native::OutputLine::Rts, asserted);
    }
    bool set_dtr(bool asserted) override
    {
        return converter::native::set_line(handle_, converter::native::OutputLine::Dtr, asserted);
    }
    std::optional<converter::ModemStatus> modem_status() override { return converter::native::modem_status(handle_); }

private:
    converter::PortHandle handle_;
};

}  // namespace

class TestRealPort : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void missing_device_does_not_open();
    void pseudo_terminal_opens_without_modem_lines();
    void reopening_the_same_lines();
    void handle_that_is_no_port_data();
    void handle_that_is_no_port();
    void device_name_data();
    void device_name();
    void opt_in_port_with_a_converter();

private:
    std::unique_ptr<converter::RealPortLines> lines_;
    // The link over the lines each test uses; nothing is open on it between the tests.
    std::unique_ptr<converter::LineConverter> converter_;
};

void TestRealPort::cleanup()
{
    // The converter closes a port still open on the lines before they go.
    converter_.reset();
    lines_.reset();
}

void TestRealPort::missing_device_does_not_open()
{
    lines_ = std::make_unique<converter::RealPortLines>();
    QCOMPARE(lines_->open(kMissingPort), converter::kInvalidPort);
    QVERIFY(!lines_->set_rts(true));
    QVERIFY(!lines_->set_dtr(true));
    QVERIFY(!lines_->modem_status().has_value());

    converter_ = std::make_unique<converter::LineConverter>(*lines_);
    QVERIFY(!converter_->open_port(kMissingPort));
    QCOMPARE(converter_->port_handle(), converter::kInvalidPort);
    converter_->init_converter();
    for (int reading = 0; reading < 3; ++reading)
        QCOMPARE(converter_->read_converter(0), std::int16_t{255});
    converter_->close_port();
    QCOMPARE(converter_->port_handle(), converter::kInvalidPort);
}

void TestRealPort::pseudo_terminal_opens_without_modem_lines()
{
    const PseudoTerminal terminal;
    if (terminal.slave_name().empty())
        QSKIP("This system gives no pseudo-terminal");

    lines_ = std::make_unique<converter::RealPortLines>();
    converter_ = std::make_unique<converter::LineConverter>(*lines_);
    QVERIFY(converter_->open_port(terminal.slave_name()));
    QVERIFY(converter_->port_handle() != converter::kInvalidPort);
    QVERIFY(converter_->port_handle() >= 0);

    // A terminal without modem-control lines refuses the line operations; the protocol carries on
    // regardless and reads the missing lines as a missing converter.
    QVERIFY(!lines_->set_rts(false));
    QVERIFY(!lines_->set_dtr(true));
    QVERIFY(!lines_->modem_status().has_value());
    converter_->init_converter();
    QCOMPARE(converter_->read_converter(0), std::int16_t{255});
    QCOMPARE(converter_->read_converter(1), std::int16_t{255});

    converter_->close_port();
    QCOMPARE(converter_->port_handle(), converter::kInvalidPort);
    QVERIFY(!lines_->set_rts(true));
    QCOMPARE(converter_->read_converter(0), std::int16_t{255});
}

void TestRealPort::reopening_the_same_lines()
{
    const PseudoTerminal terminal;
    if (terminal.slave_name().empty())
        QSKIP("This system gives no pseudo-terminal");

    // The device is opened for exclusive use: a second open of the same device through the link
    // succeeds because the link closes the first before it.
    lines_ = std::make_unique<converter::RealPortLines>();
    converter_ = std::make_unique<converter::LineConverter>(*lines_);
    QVERIFY(converter_->open_port(terminal.slave_name()));
    QVERIFY(converter_->open_port(terminal.slave_name()));
    QVERIFY(converter_->port_handle() >= 0);

    // Nobody else can open the device while the link holds it, and can once it is closed.
    converter::RealPortLines other;
    QCOMPARE(other.open(terminal.slave_name()), converter::kInvalidPort);
    converter_->close_port();
    const converter::PortHandle handle = other.open(terminal.slave_name());
    QVERIFY(handle >= 0);
    other.close();
}

void TestRealPort::handle_that_is_no_port_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a file") << "file";
    QTest::newRow("an event") << "event";
}

void TestRealPort::handle_that_is_no_port()
{
#ifndef _WIN32
    QSKIP("The handles of files and events are Windows's");
#else
    QFETCH(QString, kind);
    HANDLE handle = nullptr;
    if (kind == QLatin1String("file")) {
        char directory[MAX_PATH];
        char path[MAX_PATH];
        QVERIFY(GetTempPathA(MAX_PATH, directory) != 0 && GetTempFileNameA(directory, "udk", 0, path) != 0);
        handle = CreateFileA(
            path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        QVERIFY(handle != INVALID_HANDLE_VALUE);
    } else {
        handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        QVERIFY(handle != nullptr);
    }
    // Every line operation on a handle that is no serial port fails; the protocol still runs to its
    // end, reads what it reads without a converter, and counts the failures.
    HandleLines lines(reinterpret_cast<converter::PortHandle>(handle));
    QVERIFY(!lines.set_rts(true));
    QVERIFY(!lines.set_dtr(false));
    QVERIFY(!lines.modem_status().has_value());
    // Declared after the lines, so that it goes first and closes the port while they are there.
    converter::LineConverter link(lines);
    QVERIFY(link.open_port(kMissingPort));
    const bool answered = link.init_converter();
    const std::int16_t reading = link.read_converter(0);
    const std::uint64_t failures = link.line_failures();
    link.close_port();
    CloseHandle(handle);
    QVERIFY(!answered);
    QCOMPARE(reading, std::int16_t{255});
    QVERIFY(failures > 0);
#endif
}

void TestRealPort::device_name_data()
{
    QTest::addColumn<QString>("port_name");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("path");

    // Only the names are compared; none of these devices is ever opened here.
#ifdef _WIN32
    // Ports above COM9 open only through the device namespace.
    QTest::newRow("COM1") << "COM1"
                          << "COM1"
                          << "\\\\.\\COM1";
    QTest::newRow("COM10") << "COM10"
                           << "COM10"
                           << "\\\\.\\COM10";
    QTest::newRow("com3 in lower case") << "com3"
                                        << "com3"
                                        << "\\\\.\\com3";
    QTest::newRow("a device path stays") << "\\\\.\\COM12"
                                         << "\\\\.\\COM12"
                                         << "\\\\.\\COM12";
#else
    QTest::newRow("COM1 is the first built-in port") << "COM1"
                                                     << "/dev/ttyS0"
                                                     << "/dev/ttyS0";
    QTest::newRow("COM3 is the third built-in port") << "COM3"
                                                     << "/dev/ttyS2"
                                                     << "/dev/ttyS2";
    QTest::newRow("COM10 is the tenth built-in port") << "COM10"
                                                      << "/dev/ttyS9"
                                                      << "/dev/ttyS9";
    QTest::newRow("com2 in lower case") << "com2"
                                        << "/dev/ttyS1"
                                        << "/dev/ttyS1";
    QTest::newRow("a device path stays") << "/dev/ttyUSB0"
                                         << "/dev/ttyUSB0"
                                         << "/dev/ttyUSB0";
    QTest::newRow("COM0 is no port number, stays") << "COM0"
                                                   << "COM0"
                                                   << "COM0";
    QTest::newRow("COM1 with a suffix stays") << "COM1x"
                                              << "COM1x"
                                              << "COM1x";
    QTest::newRow("a bare name stays") << "ttyACM0"
                                       << "ttyACM0"
                                       << "ttyACM0";
#endif
}

void TestRealPort::device_name()
{
    QFETCH(QString, port_name);
    QFETCH(QString, device);
    QFETCH(QString, path);

    QCOMPARE(QString::fromStdString(converter::device_name(port_name.toStdString())), device);
    QCOMPARE(QString::fromStdString(converter::device_path(port_name.toStdString())), path);
}

void TestRealPort::opt_in_port_with_a_converter()
{
    const QByteArray port = qgetenv("UNDOU_TEST_PORT");
    if (port.isEmpty())
        QSKIP("Set UNDOU_TEST_PORT to a serial port with the converter attached to run this test");

    lines_ = std::make_unique<converter::RealPortLines>();
    converter_ = std::make_unique<converter::LineConverter>(*lines_);
    QVERIFY2(converter_->open_port(port.toStdString()), port.constData());
    // A real serial port has the modem-control lines.
    QVERIFY(lines_->set_rts(true));
    QVERIFY(lines_->set_dtr(true));
    QVERIFY(lines_->modem_status().has_value());
    converter_->init_converter();
    for (int reading = 0; reading < 10; ++reading) {
        const std::int16_t value = converter_->read_converter(0);
        QVERIFY(value >= -255 && value <= 255);
    }
    converter_->close_port();
}

QTEST_GUILESS_MAIN(TestRealPort)
#include "tst_real_port.moc"
