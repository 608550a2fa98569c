// The lines of a real serial port. A port that does not exist and a pseudo-terminal (a real
// terminal device without modem-control lines) stand in for ports without a converter; a real port
// with a converter is tested only when UNDOU_TEST_PORT names one.

#include "converter/converter.h"
#include "converter/pseudo_terminal.h"
#include "converter/real_port.h"

#include <QTest>

#include <cstdlib>
#include <memory>

using converter::PseudoTerminal;

class TestRealPort : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void missing_device_does_not_open();
    void pseudo_terminal_opens_without_modem_lines();
    void reopening_the_same_lines();
    void device_name_data();
    void device_name();
    void opt_in_port_with_a_converter();

private:
    std::unique_ptr<converter::RealPortLines> lines_;
};

void TestRealPort::cleanup()
{
    static converter::NoLines none;
    converter::use_lines(none);
    lines_.reset();
}

void TestRealPort::missing_device_does_not_open()
{
    lines_ = std::make_unique<converter::RealPortLines>();
    QCOMPARE(lines_->open("/dev/ttyNONEXISTENT0"), converter::kInvalidPort);
    QVERIFY(!lines_->set_rts(true));
    QVERIFY(!lines_->set_dtr(true));
    QVERIFY(!lines_->modem_status().has_value());

    converter::use_lines(*lines_);
    QVERIFY(!converter::open_port("/dev/ttyNONEXISTENT0"));
    QCOMPARE(converter::port_handle, converter::kInvalidPort);
    converter::init_converter();
    for (int reading = 0; reading < 3; ++reading)
        QCOMPARE(converter::read_converter(0), std::int16_t{255});
    converter::close_port();
    QCOMPARE(converter::port_handle, converter::kInvalidPort);
}

void TestRealPort::pseudo_terminal_opens_without_modem_lines()
{
    const PseudoTerminal terminal;
    if (terminal.slave_name().empty())
        QSKIP("This system gives no pseudo-terminal");

    lines_ = std::make_unique<converter::RealPortLines>();
    converter::use_lines(*lines_);
    QVERIFY(converter::open_port(terminal.slave_name()));
    QVERIFY(converter::port_handle != converter::kInvalidPort);
    QVERIFY(converter::port_handle >= 0);

    // A terminal without modem-control lines refuses the line operations; the protocol carries on
    // regardless and reads the missing lines as a missing converter.
    QVERIFY(!lines_->set_rts(false));
    QVERIFY(!lines_->set_dtr(true));
    QVERIFY(!lines_->modem_status().has_value());
    converter::init_converter();
    QCOMPARE(converter::read_converter(0), std::int16_t{255});
    QCOMPARE(converter::read_converter(1), std::int16_t{255});

    converter::close_port();
    QCOMPARE(converter::port_handle, converter::kInvalidPort);
    QVERIFY(!lines_->set_rts(true));
    QCOMPARE(converter::read_converter(0), std::int16_t{255});
}

void TestRealPort::reopening_the_same_lines()
{
    const PseudoTerminal terminal;
    if (terminal.slave_name().empty())
        QSKIP("This system gives no pseudo-terminal");

    // The device is opened for exclusive use: a second open of the same device through the link
    // succeeds because the link closes the first before it.
    lines_ = std::make_unique<converter::RealPortLines>();
    converter::use_lines(*lines_);
    QVERIFY(converter::open_port(terminal.slave_name()));
    QVERIFY(converter::open_port(terminal.slave_name()));
    QVERIFY(converter::port_handle >= 0);

    // Nobody else can open the device while the link holds it, and can once it is closed.
    converter::RealPortLines other;
    QCOMPARE(other.open(terminal.slave_name()), converter::kInvalidPort);
    converter::close_port();
    const converter::PortHandle handle = other.open(terminal.slave_name());
    QVERIFY(handle >= 0);
    other.close();
}

void TestRealPort::device_name_data()
{
    QTest::addColumn<QString>("port_name");
    QTest::addColumn<QString>("device");

    // Only the names are compared; none of these devices is ever opened here.
#ifdef _WIN32
    QTest::newRow("COM1 stays COM1") << "COM1"
                                     << "COM1";
    QTest::newRow("COM3 stays COM3") << "COM3"
                                     << "COM3";
#else
    QTest::newRow("COM1 is the first built-in port") << "COM1"
                                                     << "/dev/ttyS0";
    QTest::newRow("COM3 is the third built-in port") << "COM3"
                                                     << "/dev/ttyS2";
    QTest::newRow("COM10 is the tenth built-in port") << "COM10"
                                                      << "/dev/ttyS9";
    QTest::newRow("com2 in lower case") << "com2"
                                        << "/dev/ttyS1";
    QTest::newRow("a device path stays") << "/dev/ttyUSB0"
                                         << "/dev/ttyUSB0";
    QTest::newRow("COM0 is no port number, stays") << "COM0"
                                                   << "COM0";
    QTest::newRow("COM1 with a suffix stays") << "COM1x"
                                              << "COM1x";
    QTest::newRow("a bare name stays") << "ttyACM0"
                                       << "ttyACM0";
#endif
}

void TestRealPort::device_name()
{
    QFETCH(QString, port_name);
    QFETCH(QString, device);

    QCOMPARE(QString::fromStdString(converter::device_name(port_name.toStdString())), device);
}

void TestRealPort::opt_in_port_with_a_converter()
{
    const QByteArray port = qgetenv("UNDOU_TEST_PORT");
    if (port.isEmpty())
        QSKIP("Set UNDOU_TEST_PORT to a serial port with the converter attached to run this test");

    lines_ = std::make_unique<converter::RealPortLines>();
    converter::use_lines(*lines_);
    QVERIFY2(converter::open_port(port.toStdString()), port.constData());
    // A real serial port has the modem-control lines.
    QVERIFY(lines_->set_rts(true));
    QVERIFY(lines_->set_dtr(true));
    QVERIFY(lines_->modem_status().has_value());
    converter::init_converter();
    for (int reading = 0; reading < 10; ++reading) {
        const std::int16_t value = converter::read_converter(0);
        QVERIFY(value >= -255 && value <= 255);
    }
    converter::close_port();
}

QTEST_GUILESS_MAIN(TestRealPort)
#include "tst_real_port.moc"
