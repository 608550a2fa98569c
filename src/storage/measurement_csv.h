// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The CSV file of a measurement: UTF-8 with a byte-order mark, so that a spreadsheet on Japanese
// Windows takes it for UTF-8; fields separated by commas; '.' as the decimal point; lines ending in
// CR LF. A header block of name and value rows comes first, then the tables, each under a title
// row and a row of column names and ended by an empty line, and last a line that says the file is
// complete.
//
// The reader also takes the file back as a spreadsheet saves it: in the Japanese code page
// (Shift_JIS as Windows has it) as well as in UTF-8 with or without the mark, with CR LF, LF or CR
// line ends, rows padded with empty fields, empty lines after the last, and the dates in the
// spreadsheet's own forms. What the values are is read as strictly as the writer writes them.
//
// Readings and counts are integers. Single-precision values are written in the shortest form that
// reads back to the same float (0.021, 1.268), double-precision values in the shortest that reads
// back to the same double; a file with more digits than that reads back to the same values.

#include "storage/measurement_record.h"

#include <QByteArray>

#include <cstdint>

class QIODevice;

namespace storage {

// The largest file the program writes: 10001 readings, and at most one section for every two
// readings (a hole needs a light reading and a dark one), each with its boundary, comes to well
// under 1 MiB. Anything past four times that is not ours and is refused before it is read.
inline constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;

// Why a file was refused.
enum class ReadProblem {
    CannotOpen,  // the system would not let us read it
    NotAFile,    // a folder, a pipe or a device: only a regular file is read
    TooLarge,    // larger than any file the program writes
    NotOurs,     // does not start as our files start
    Truncated,   // ends before the line that closes a complete file
    BrokenLine,  // a line that does not have the fields its place needs
    // Outside the limits of common/limits.h:
    SampleOutOfRange,     // a reading outside -255..255
    PeriodOutOfRange,     // a period outside 1..1000 ms
    TimeOutOfRange,       // a measurement time that is not a whole number of 1..10 s
    CountOutOfRange,      // N outside 1..10000
    SampleCountMismatch,  // not N + 1 readings
    RateMismatch,         // a rate or an N that the period and the time do not give
    RangeOutOfRange,      // a chosen range that starts before 0, ends after N / rate, or ends by its start
};

struct ReadFailure {
    ReadProblem problem = ReadProblem::BrokenLine;
    std::int32_t line = 0;  // 1-based; 0 when the problem is the file as a whole
    QString system_reason;  // for CannotOpen: what the system said
};

struct ReadResult {
    std::optional<MeasurementRecord> record;
    ReadFailure failure;  // meaningful when there is no record
    // Lines of the header rows that the window checks against its own plan of a measurement.
    std::int32_t sample_rate_line = 0;
    std::int32_t last_sample_line = 0;
};

QByteArray write_measurement_csv(const MeasurementRecord &record);

// Reads a file written by write_measurement_csv from the device, record by record, and refuses it
// at the first line that it would not write: another header, a missing or broken row, a value
// outside the window's limits. Reads no more than kMaxFileBytes.
ReadResult read_measurement_csv(QIODevice &device);
ReadResult parse_measurement_csv(const QByteArray &bytes);

}  // namespace storage
