// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The converter link. A Converter is one kind of converter on one port; the session owns an open
// port and its converter for the program, prepares it, takes readings and closes it, and says what
// went wrong as a value.
//
// The converter of the window's definition is an 8-bit serial analog-to-digital converter on the
// modem-control lines (LineConverter). RTS is its clock (a pulse de-asserts RTS and asserts it
// again), DTR carries the header bits to it, DSR brings the data bits back (not asserted = 1) and
// CTS its status (not asserted = 1). No character ever travels over the port, and no routine here
// waits, sleeps or pumps events.
//
// Order of use: open_port, init_converter, any number of read_converter, close_port.
// A reading never stops at a failed line operation: the sequence always runs to its end, so a
// missing converter simply reads 255. The failures are counted instead, so that the caller can
// tell a port that has gone away from a dark sensor once the reading is done.

#include "converter/serial_lines.h"

#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace converter {

struct BoardEvent;
enum class SessionFault;
class StreamingConverter;

class Converter {
public:
    virtual ~Converter() = default;

    // Closes a port that is still open, then opens the named device. True when it is open.
    virtual bool open_port(const std::string &name) = 0;
    // Closes the port; does nothing when no port is open.
    virtual void close_port() = 0;
    // Prepares the converter for its first reading; true when it answered.
    virtual bool init_converter() = 0;
    // One reading of `channel` (0 at every call of the program), -255..255.
    virtual std::int16_t read_converter(std::int16_t channel) = 0;
    // Operations on the port that failed since it was last opened.
    virtual std::uint64_t line_failures() const = 0;
    // Why the converter did not get ready, where it can say more than that it did not answer.
    virtual std::optional<SessionFault> why_not_ready() const { return std::nullopt; }
    // A converter that takes its readings on its own clock and sends them as they come; none for
    // one that the program reads reading by reading.
    virtual StreamingConverter *streaming() { return nullptr; }
};

// A converter with a clock of its own: told to start, it sends each reading when it takes it.
class StreamingConverter {
public:
    virtual ~StreamingConverter() = default;
    // Starts readings 0.. at `period_ms`: `count` of them, or until stop() for 0.
    virtual bool start(std::int32_t period_ms, std::int32_t count) = 0;
    // What came since the last call, without waiting; nothing once the port has failed.
    virtual std::optional<std::vector<BoardEvent>> poll() = 0;
    virtual bool stop() = 0;
    // Reading `index` of the run came at `at_ns` on the PC's clock; after the run, what the
    // arrivals say of the converter's clock.
    virtual void reading_arrived(std::int64_t index, std::int64_t at_ns) = 0;
    virtual void run_ended(std::int32_t period_ms) = 0;
    // Where the readings come from, for the 入力 row: the kind, its port, its firmware, its clock.
    virtual QStringList source() const = 0;
    // The port it answered on.
    virtual std::string port_name() const = 0;
    // The firmware a converter of another version runs, for the message; none otherwise.
    virtual std::optional<QString> other_firmware() const { return std::nullopt; }
    // It answered on a port still open, so a run starts at once; false while it is still to be
    // opened and greeted. Any thread may ask.
    virtual bool ready() const { return true; }
    // It stamps the light's edges on its own timer and sends them beside the readings.
    virtual bool stamps_edges() const { return false; }
    // The correction it keeps for its clock, in ppm: its ticks are milliseconds, its timer's counts
    // within a tick 4 µs / (1 + this).
    virtual double clock_correction_ppm() const { return 0; }
};

// The converter on the modem-control lines of a serial port.
class LineConverter final : public Converter {
public:
    // The lines must outlive their use.
    explicit LineConverter(SerialLines &lines);
    ~LineConverter() override;
    LineConverter(const LineConverter &) = delete;
    LineConverter &operator=(const LineConverter &) = delete;

    // Chooses the lines the routines talk to (the real port, the simulated converter or a test's
    // fake); closes a port still open on the previous lines.
    void use_lines(SerialLines &lines);
    SerialLines &current_lines() const { return *lines_; }

    bool open_port(const std::string &name) override;
    void close_port() override;
    // Clocks the converter until its status reads 0 and then until it reads 1, at most 21 pulses
    // each. True when the converter answered: both waits ended because the status reached the
    // awaited level, not because they ran out of pulses.
    bool init_converter() override;
    // One conversion on `channel`: 1..255 from the first pass, or the negated second pass with
    // inverted polarity (-255..0) when the first pass gave 0.
    std::int16_t read_converter(std::int16_t channel) override;
    // De-asserts RTS, then asserts it.
    void clock_pulse();
    void set_dtr();
    void clear_dtr();
    // One modem-status query: 1 when CTS is not asserted (or the query failed), 0 when asserted.
    std::int16_t status_bit();
    std::uint64_t line_failures() const override { return failures_; }

    // The open port, kInvalidPort after a failed open or a close.
    PortHandle port_handle() const { return port_handle_; }

    // Time to wait after each clock pulse before the next line operation, in microseconds (0:
    // none). Some USB adapters report their input lines only a little after the converter has
    // changed them. The wait runs on the steady clock: waits this short must not depend on the
    // scheduler's steps.
    void set_settle_us(std::int32_t microseconds) { settle_us_ = microseconds > 0 ? microseconds : 0; }
    std::int32_t settle_us() const { return settle_us_; }

private:
    void count(bool succeeded);
    ModemStatus query_status();
    bool wait_for_status(std::int16_t level);
    void settle() const;
    int convert(bool polarity_asserted, bool channel_asserted);

    SerialLines *lines_;
    PortHandle port_handle_ = kInvalidPort;
    std::uint64_t failures_ = 0;
    std::int32_t settle_us_ = 0;
};

// Why a session could not start: the port would not open, its lines failed while the converter was
// being prepared, or the converter did not answer; no board answered its greeting, or one with
// another firmware did.
enum class SessionFault { CannotOpen, LinesLost, Silent, NoBoard, OtherFirmware };

// The program's converter on its port, from the moment it is opened to the moment it is closed.
class ConverterSession {
public:
    // The converter must outlive the session; the session closes its port when it goes.
    explicit ConverterSession(Converter &converter);
    ~ConverterSession();
    ConverterSession(const ConverterSession &) = delete;
    ConverterSession &operator=(const ConverterSession &) = delete;

    // Opens the port and prepares the converter. On a fault the port is closed again. Failed line
    // operations say more than a silent converter: every query of a port without modem lines fails,
    // and the converter then looks silent as well.
    std::optional<SessionFault> open(const std::string &port_name);
    // One reading of channel 0.
    std::int16_t read();
    // False once an operation on the port has failed since it was opened.
    bool lines_in_order() const;
    // Closes the port; does nothing when none is open. The only place the port is closed.
    void close();

    Converter &converter() const { return converter_; }

private:
    Converter &converter_;
};

}  // namespace converter
