#pragma once

// The CSV file of a measurement: UTF-8 with a byte-order mark, so that a spreadsheet on Japanese
// Windows takes it for UTF-8; fields separated by commas; '.' as the decimal point; lines ending in
// CR LF. A header block of name and value rows comes first, then the tables, each under a title
// row and a row of column names and ended by an empty line, and last a line that says the file is
// complete.
//
// Readings and counts are integers. Single-precision values are written with 9 significant digits,
// which read back to the same float; double-precision values with as many digits as it takes to
// read back the same double.

#include "storage/measurement_record.h"

#include <QByteArray>

#include <cstdint>

namespace storage {

// Limits of what the window can measure: 1..1000 ms, 1..10 s, and so N = 1..10000.
inline constexpr std::int32_t kMinPeriodMs = 1;
inline constexpr std::int32_t kMaxPeriodMs = 1000;
inline constexpr std::int32_t kMinTimeS = 1;
inline constexpr std::int32_t kMaxTimeS = 10;
inline constexpr std::int32_t kMaxLastSample = 10000;
inline constexpr std::int32_t kMaxReading = 255;
// The largest file the program writes: 10001 readings, and at most one section for every two
// readings (a hole needs a light reading and a dark one), each with its boundary, comes to well
// under 1 MiB. Anything past four times that is not ours and is refused before it is read.
inline constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;

// Why a file was refused.
enum class ReadProblem {
    CannotOpen,           // the system would not let us read it
    TooLarge,             // larger than any file the program writes
    NotOurs,              // does not start as our files start
    Truncated,            // ends before the line that closes a complete file
    BrokenLine,           // a line that does not have the fields its place needs
    SampleOutOfRange,     // a reading outside -255..255
    PeriodOutOfRange,     // a period outside 1..1000 ms
    TimeOutOfRange,       // a measurement time outside 1..10 s
    CountOutOfRange,      // N outside 1..10000
    SampleCountMismatch,  // not N + 1 readings
    RateMismatch,         // a rate or an N that the period and the time do not give
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

// Reads a file written by write_measurement_csv. Refuses, with the line, anything it would not
// write: another header, a missing or broken row, a value outside the window's limits.
ReadResult parse_measurement_csv(const QByteArray &bytes);

}  // namespace storage
