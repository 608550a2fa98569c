#pragma once

// The converter link: an 8-bit serial analog-to-digital converter on the modem-control lines.
// RTS is its clock (a pulse de-asserts RTS and asserts it again), DTR carries the header bits to
// it, DSR brings the data bits back (not asserted = 1) and CTS its status (not asserted = 1).
// No character ever travels over the port, and no routine here waits, sleeps or pumps events.
//
// Order of use: open_port, init_converter, any number of read_converter, close_port.
// The outcome of a line operation is never examined: a missing converter simply reads 255.

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
void init_converter();
// One conversion on `channel` (0 at every call of the program): 1..255 from the first pass, or the
// negated second pass with inverted polarity (-255..0) when the first pass gave 0.
std::int16_t read_converter(std::int16_t channel);
// De-asserts RTS, then asserts it.
void clock_pulse();
void set_dtr();
void clear_dtr();
// One modem-status query: 1 when CTS is not asserted (or the query failed), 0 when asserted.
std::int16_t status_bit();

}  // namespace converter
