// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The converter link: an 8-bit serial analog-to-digital converter on the modem-control lines.
// RTS is its clock (a pulse de-asserts RTS and asserts it again), DTR carries the header bits to
// it, DSR brings the data bits back (not asserted = 1) and CTS its status (not asserted = 1).
// No character ever travels over the port, and no routine here waits, sleeps or pumps events.
//
// Order of use: open_port, init_converter, any number of read_converter, close_port.
// A reading never stops at a failed line operation: the sequence always runs to its end, so a
// missing converter simply reads 255. The failures are counted instead, so that the caller can
// tell a port that has gone away from a dark sensor once the reading is done.

#include "converter/serial_lines.h"

#include <cstdint>
#include <string>

namespace converter {

// The open port, kInvalidPort after a failed open or a close.
extern PortHandle port_handle;

// Chooses the lines the routines below talk to (the real port, the simulated converter or a
// test's fake). The object must outlive its use; closes a port still open on the previous lines.
void use_lines(SerialLines &lines);
SerialLines &current_lines();

// Closes a port that is still open, then opens the named device. True when it is open.
bool open_port(const std::string &name);
// Closes the port; does nothing when no port is open.
void close_port();
// Clocks the converter until its status reads 0 and then until it reads 1, at most 21 pulses each.
// True when the converter answered: both waits ended because the status reached the awaited
// level, not because they ran out of pulses.
bool init_converter();
// One conversion on `channel` (0 at every call of the program): 1..255 from the first pass, or the
// negated second pass with inverted polarity (-255..0) when the first pass gave 0.
std::int16_t read_converter(std::int16_t channel);
// De-asserts RTS, then asserts it.
void clock_pulse();
void set_dtr();
void clear_dtr();
// One modem-status query: 1 when CTS is not asserted (or the query failed), 0 when asserted.
std::int16_t status_bit();

// Line operations and status queries that failed since the port was last opened.
std::uint64_t line_failures();

// Time to wait after each clock pulse before the next line operation, in microseconds (0: none).
// Some USB adapters report their input lines only a little after the converter has changed them.
// The wait runs on the steady clock: waits this short must not depend on the scheduler's steps.
void set_settle_us(std::int32_t microseconds);
std::int32_t settle_us();

}  // namespace converter
