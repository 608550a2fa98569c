// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The reader of a measurement file, shared by its two halves: measurement_reader.cpp reads the
// header, the readings and the tables, measurement_blocks.cpp the blocks that may follow them.
// Only those two include it.

#include "storage/csv_fields.h"
#include "storage/measurement_csv.h"

#include <QIODevice>
#include <QStringList>

#include <cstdint>

namespace storage::reading {

// One record with its fields as text.
struct Line {
    std::int32_t number = 0;  // the line it starts on
    QStringList fields;       // trailing empty fields dropped: a spreadsheet pads rows to one width
    bool ended = true;        // false for a record that the end of the data cut off
    bool broken = false;      // not in the file's encoding, a quote left open, or far too wide
};

// Reads a file record by record, and refuses it at the first record that does not fit its place.
class Reader {
public:
    explicit Reader(QIODevice &device) : records_(device, kMaxFileBytes) { }

    ReadResult read();

private:
    struct Refusal {
        ReadFailure failure;
    };
    [[noreturn]] static void refuse(ReadProblem problem, std::int32_t line) { throw Refusal{{problem, line, {}}}; }
    // A line that the end of the data cut off means a file cut short, whatever else it lacks.
    [[noreturn]] static void refuse(ReadProblem problem, const Line &line)
    {
        refuse(!line.ended && !line.broken ? ReadProblem::Truncated : problem, line.number);
    }
    [[noreturn]] static void broken(const Line &line) { refuse(ReadProblem::BrokenLine, line); }

    Line decoded(const CsvRecord &record) const;
    // The next record, without taking it; nothing at the end of the data.
    const Line *peek();
    // Takes the next record; the end of the data there means the file was cut short.
    Line next();
    bool next_is(const QString &first);

    // A header row: the key and exactly `values` values, or at least one when `values` is 0.
    Line row(const QString &key, qsizetype values);
    template <typename Number> static Number value(const Line &line, qsizetype field)
    {
        const std::optional<Number> number = number_of<Number>(line.fields.value(field));
        if (!number)
            broken(line);
        return *number;
    }
    template <typename Number> static std::optional<Number> optional_value(const Line &line, qsizetype field)
    {
        if (line.fields.value(field).isEmpty())
            return std::nullopt;
        return value<Number>(line, field);
    }
    void blank();
    void table_head(const QString &title, const QStringList &columns);
    // The rows of a table up to the empty line that ends it, each with exactly `fields` fields and
    // its index in the first, counting from `first_index`.
    template <typename Take> void table_rows(qsizetype fields, std::int32_t first_index, Take take);

    void read_title();
    void read_header(MeasurementRecord &record, ReadResult &result);
    void read_samples(MeasurementRecord &record);
    void read_analysis(MeasurementRecord &record);
    void read_blocks(MeasurementRecord &record);
    void read_fit(MeasurementRecord &record);
    void read_position_fit(MeasurementRecord &record);
    void read_strip_check(MeasurementRecord &record);
    void read_edge_stamps(MeasurementRecord &record);
    // A row of a block of quantities: its key and 1..most_values values, trailing empty ones dropped.
    Line quantity(const QString &key, qsizetype most_values, qsizetype fewest_values = 1)
    {
        Line line = next();
        if (!same_key(line.fields.value(0), key) || line.fields.size() < fewest_values + 1
            || line.fields.size() > most_values + 1)
            broken(line);
        return line;
    }
    void read_end();

    CsvRecordReader records_;
    CsvRecord record_;
    TextEncoding encoding_ = TextEncoding::Utf8;
    Line lookahead_;
    bool has_lookahead_ = false;
    bool at_end_ = false;
};

template <typename Take> inline void Reader::table_rows(qsizetype fields, std::int32_t first_index, Take take)
{
    for (std::int32_t index = first_index;; ++index) {
        const Line line = next();
        if (line.fields.isEmpty())
            return;
        if (line.fields.size() != fields || value<std::int32_t>(line, 0) != index)
            broken(line);
        take(line);
    }
}

}  // namespace storage::reading
