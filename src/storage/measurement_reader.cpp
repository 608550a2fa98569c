// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "storage/measurement_reader.h"
#include "common/limits.h"
#include "storage/csv_layout.h"

#include <QBuffer>

#include <algorithm>
#include <cmath>

namespace storage {
namespace reading {

using namespace layout;

Line Reader::decoded(const CsvRecord &record) const
{
    Line line{record.line, {}, record.ended, record.broken};
    line.fields.reserve(static_cast<qsizetype>(record.fields.size()));
    for (const QByteArray &bytes : record.fields) {
        std::optional<QString> text = decode_field(bytes, encoding_);
        if (!text) {
            line.broken = true;
            line.fields.clear();
            break;
        }
        line.fields << *text;
    }
    return line;
}

const Line *Reader::peek()
{
    if (!has_lookahead_ && !at_end_) {
        switch (records_.next(record_)) {
        case CsvRecordReader::Next::Record:
            lookahead_ = decoded(record_);
            has_lookahead_ = true;
            break;
        case CsvRecordReader::Next::End:
            at_end_ = true;
            break;
        case CsvRecordReader::Next::TooLarge:
            refuse(ReadProblem::TooLarge, 0);
        case CsvRecordReader::Next::ReadError:
            throw Refusal{{ReadProblem::CannotOpen, 0, records_.error_string()}};
        }
    }
    return has_lookahead_ ? &lookahead_ : nullptr;
}

Line Reader::next()
{
    if (!peek())
        refuse(ReadProblem::Truncated, std::max(records_.last_line(), 1));
    has_lookahead_ = false;
    Line line = std::move(lookahead_);
    if (line.broken)
        broken(line);
    return line;
}

bool Reader::next_is(const QString &first)
{
    const Line *line = peek();
    return line && !line->fields.isEmpty() && same_key(line->fields.first(), first);
}

Line Reader::row(const QString &key, qsizetype values)
{
    Line line = next();
    if (line.fields.isEmpty() || !same_key(line.fields.first(), key)
        || (values > 0 ? line.fields.size() != values + 1 : line.fields.size() < 2))
        broken(line);
    return line;
}

void Reader::blank()
{
    const Line line = next();
    if (!line.fields.isEmpty())
        broken(line);
}

void Reader::table_head(const QString &title, const QStringList &columns)
{
    const Line title_line = next();
    if (title_line.fields.size() != 1 || !same_key(title_line.fields[0], title))
        broken(title_line);
    const Line column_line = next();
    if (!std::equal(column_line.fields.begin(), column_line.fields.end(), columns.begin(), columns.end(), same_key))
        broken(column_line);
}

ReadResult Reader::read()
{
    ReadResult result;
    try {
        read_title();
        MeasurementRecord record;
        read_header(record, result);
        read_samples(record);
        if (next_is(kEdgeStampsTitle))
            read_edge_stamps(record);
        if (record.holes_per_section)
            read_analysis(record);
        read_blocks(record);
        read_end();
        result.record = std::move(record);
    } catch (const Refusal &refusal) {
        result.record.reset();
        result.failure = refusal.failure;
    }
    return result;
}

void Reader::read_title()
{
    // The title says which encoding the file is in: UTF-8 as written, or the Japanese code page
    // when a spreadsheet saved it again.
    if (!peek() || record_.fields.size() != 2)
        refuse(ReadProblem::NotOurs, 1);
    const std::optional<TextEncoding> encoding
        = encoding_of_title(record_.fields[0], records_.had_byte_order_mark(), kFileTitle);
    if (!encoding)
        refuse(ReadProblem::NotOurs, 1);
    encoding_ = *encoding;
    has_lookahead_ = false;
    const Line title = decoded(record_);
    if (title.broken || title.fields != QStringList{kFileTitle, kLayout})
        refuse(ReadProblem::NotOurs, 1);
}

void Reader::read_header(MeasurementRecord &record, ReadResult &result)
{
    const Line program = row(kProgramKey, 2);
    record.program_name = program.fields[1];
    record.program_version = program.fields[2];
    const Line saved = row(kSavedKey, 1);
    record.saved_at = date_time_of(saved.fields[1]);
    if (!record.saved_at.isValid())
        broken(saved);
    if (next_is(kMeasuredKey)) {
        const Line measured = row(kMeasuredKey, 1);
        record.measured_at = date_time_of(measured.fields[1]);
        if (!record.measured_at.isValid())
            broken(measured);
    }
    record.source = row(kSourceKey, 0).fields.mid(1);

    const Line period = row(kPeriodKey, 1);
    record.period_ms = value<std::int32_t>(period, 1);
    if (record.period_ms < common::kShortestPeriodMs || record.period_ms > common::kLongestPeriodMs)
        refuse(ReadProblem::PeriodOutOfRange, period);
    const Line time = row(kTimeKey, 1);
    record.meas_time_s = value<float>(time, 1);
    if (!(record.meas_time_s >= common::kShortestTimeS && record.meas_time_s <= common::kLongestTimeS)
        || record.meas_time_s != std::floor(record.meas_time_s))
        refuse(ReadProblem::TimeOutOfRange, time);
    const Line rate = row(kRateKey, 1);
    record.sample_rate = value<float>(rate, 1);
    if (!(record.sample_rate > 0))
        broken(rate);
    result.sample_rate_line = rate.number;
    const Line count = row(kCountKey, 1);
    record.last_sample = value<std::int32_t>(count, 1);
    if (record.last_sample < 1 || record.last_sample > common::kLargestLastSample)
        refuse(ReadProblem::CountOutOfRange, count);
    result.last_sample_line = count.number;
    if (next_is(kLateReadingsKey)) {
        const Line late = row(kLateReadingsKey, 1);
        if (!read_reading_spans(late.fields[1], record.last_sample, record.late_readings))
            broken(late);
    }
    if (next_is(kHolesKey)) {
        const Line holes = row(kHolesKey, 1);
        record.holes_per_section = value<std::int32_t>(holes, 1);
        if (*record.holes_per_section < common::kFewestHolesPerSection
            || *record.holes_per_section > common::kMostHolesPerSection)
            broken(holes);
    }
    if (next_is(kRangeKey)) {
        // Readings span 0..N / rate s and the first counted edge comes at or after reading 0.
        const Line range = row(kRangeKey, 2);
        record.range = {value<double>(range, 1), value<double>(range, 2)};
        if (record.range->start_s < 0 || record.range->end_s <= record.range->start_s
            || record.range->end_s > record.last_sample / static_cast<double>(record.sample_rate))
            refuse(ReadProblem::RangeOutOfRange, range);
    }
    blank();
}

void Reader::read_samples(MeasurementRecord &record)
{
    table_head(kSamplesTitle, kSampleColumns);
    const std::size_t expected = static_cast<std::size_t>(record.last_sample) + 1;
    for (;;) {
        const Line line = next();
        if (line.fields.isEmpty()) {
            if (record.samples.size() != expected)
                refuse(ReadProblem::SampleCountMismatch, line);
            return;
        }
        if (line.fields.size() != 3 || value<std::int32_t>(line, 0) != static_cast<std::int32_t>(record.samples.size()))
            broken(line);
        value<double>(line, 1);
        const std::int32_t reading = value<std::int32_t>(line, 2);
        if (reading < -common::kLargestReading || reading > common::kLargestReading)
            refuse(ReadProblem::SampleOutOfRange, line);
        if (record.samples.size() == expected)
            refuse(ReadProblem::SampleCountMismatch, line);
        record.samples.push_back(static_cast<std::int16_t>(reading));
    }
}

void Reader::read_analysis(MeasurementRecord &record)
{
    table_head(kSectionsTitle, kSectionColumns);
    table_rows(4, 1, [&](const Line &line) {
        record.sections.push_back({value<float>(line, 1), value<float>(line, 2), value<float>(line, 3)});
    });
    table_head(kBoundariesTitle, kBoundaryColumns);
    table_rows(3, 0, [&](const Line &line) {
        record.boundaries.push_back({value<double>(line, 1), value<double>(line, 2)});
    });
}

void Reader::read_end()
{
    const Line end = next();
    if (end.fields != QStringList{kEndMark})
        broken(end);
    // A spreadsheet may add empty lines, or lines of commas, after the last.
    for (records_.skip_empty_lines(); const Line *rest = peek(); records_.skip_empty_lines()) {
        if (rest->broken || !rest->fields.isEmpty())
            refuse(ReadProblem::BrokenLine, rest->number);
        has_lookahead_ = false;
    }
}

}  // namespace reading

ReadResult read_measurement_csv(QIODevice &device) { return reading::Reader(device).read(); }

ReadResult parse_measurement_csv(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return read_measurement_csv(buffer);
}

}  // namespace storage
