// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The fields of a CSV file as a spreadsheet writes them: records read one at a time from a device,
// quotes and all; their text in UTF-8 or in the Japanese code page; numbers and dates as they
// stand in a field.

#include "common/reading_span.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

class QIODevice;

namespace storage {

// One record: the fields of one line, or of several when a quoted field holds line ends.
struct CsvRecord {
    std::int32_t line = 0;           // the line it starts on, 1-based
    std::vector<QByteArray> fields;  // as written, undecoded; trailing empty fields dropped
    bool ended = false;              // closed by a line end rather than by the end of the data
    bool broken = false;             // a quote left open at the end of the data, or too many fields
};

// Reads the records of a device one by one, holding no more than the record in hand. A field in
// double quotes may hold commas, doubled quotes and line ends; outside quotes a line ends at CR LF,
// LF or CR. A UTF-8 byte-order mark before the first record is skipped.
class CsvRecordReader {
public:
    // Reads no more than `max_bytes` from the device.
    CsvRecordReader(QIODevice &device, qint64 max_bytes);

    enum class Next {
        Record,     // `record` holds the next record
        End,        // the data has ended
        TooLarge,   // the data goes on past max_bytes
        ReadError,  // the device failed; see error_string()
    };
    Next next(CsvRecord &record);
    // Passes over empty lines and lines of nothing but commas, many at a time.
    void skip_empty_lines();

    bool had_byte_order_mark() const { return had_byte_order_mark_; }
    // The last line that the records read so far reach (0 before the first).
    std::int32_t last_line() const { return last_line_; }
    QString error_string() const { return error_string_; }

private:
    // The next byte, or -1 at the end of the data or on a failure (then status_ says which).
    int next_byte();
    bool fill();

    QIODevice &device_;
    qint64 max_bytes_;
    qint64 bytes_read_ = 0;
    QByteArray buffer_;
    qsizetype position_ = 0;
    Next status_ = Next::Record;
    bool started_ = false;
    bool had_byte_order_mark_ = false;
    bool skip_line_feed_ = false;  // the last record ended at a CR, which may be the first half of CR LF
    std::int32_t lines_ended_ = 0;
    std::int32_t last_line_ = 0;
    QString error_string_;
};

// One line of our files: the fields in UTF-8, each in double quotes where it holds a comma, a quote
// or a line end, separated by commas and ended by CR LF.
QByteArray csv_row(const QStringList &fields);

// How the text of a file is encoded.
enum class TextEncoding { Utf8, Cp932 };

// The text of a field in the encoding; nothing when the bytes are not valid in it.
std::optional<QString> decode_field(const QByteArray &bytes, TextEncoding encoding);

// The encoding in which the first field of a file reads as its title: UTF-8 as we write it, or, in
// a file without the byte-order mark, the Japanese code page in which a spreadsheet saved it again;
// nothing when it reads as neither.
std::optional<TextEncoding> encoding_of_title(const QByteArray &field, bool had_byte_order_mark, const QString &title);

// True when a field read back equals one of our own texts. A spreadsheet that saves in the
// Japanese code page writes '?' for a character it lacks there, so "cm/s²" comes back as "cm/s?":
// a '?' in its place is taken for the '²'.
bool same_key(const QString &field, const QString &expected);

// The number in a field: decimal digits with an optional sign, point and exponent, as a program
// writes them; nothing for anything else (blanks, words such as "inf", thousands separators).
template <typename Number> std::optional<Number> number_of(const QString &text);

// Spans of readings as a field holds them: each span its first and last reading joined by '-',
// the spans ascending and separated by single blanks ("532-548 901-903").
QString reading_spans_text(const std::vector<common::ReadingSpan> &spans);
// Reads such a field into `spans`; false, leaving `spans` as they were, for any other text (an
// empty field, other separators, signs), for spans that run backwards, overlap or are out of
// order, and for a reading outside 0..last_sample.
bool read_reading_spans(const QString &text, std::int32_t last_sample, std::vector<common::ReadingSpan> &spans);

// A date and time as the program writes it ("2026-12-08 12:51:07") or as a spreadsheet writes it
// back ("2026/12/8 12:51", "2026/12/08 12:51:00", "2026-12-08 12:51", or the date alone): the year
// first, '-' or '/' between the parts of the date. An invalid QDateTime for anything else.
QDateTime date_time_of(const QString &text);

}  // namespace storage
