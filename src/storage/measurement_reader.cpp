// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "common/limits.h"
#include "storage/csv_fields.h"
#include "storage/csv_layout.h"
#include "storage/measurement_csv.h"

#include <QBuffer>

#include <algorithm>
#include <cmath>

namespace storage {

namespace {

using namespace layout;

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

template <typename Take> void Reader::table_rows(qsizetype fields, std::int32_t first_index, Take take)
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

ReadResult Reader::read()
{
    ReadResult result;
    try {
        read_title();
        MeasurementRecord record;
        read_header(record, result);
        read_samples(record);
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

void Reader::read_blocks(MeasurementRecord &record)
{
    // The blocks that may follow the tables, each under its title and ended by an empty line, in
    // the order the writer puts them; a block is there or not. A block about the analysis comes
    // only with its tables.
    struct Block {
        const QString &title;
        bool needs_analysis;
        void (Reader::*read)(MeasurementRecord &);
    };
    const Block blocks[] = {
        {kFitTitle, true, &Reader::read_fit},
        {kPositionFitTitle, true, &Reader::read_position_fit},
        {kStripCheckTitle, true, &Reader::read_strip_check},
    };
    for (const Block &block : blocks) {
        if ((!block.needs_analysis || record.holes_per_section) && next_is(block.title))
            (this->*block.read)(record);
    }
}

void Reader::read_fit(MeasurementRecord &record)
{
    table_head(kFitTitle, kFitColumns);
    FitRecord fit;
    // A coefficient's row: its key, the text as printed, the float the window printed, the
    // double-precision value and, where there is one, its standard error.
    auto read_coefficient
        = [&](const QString &key, QString &text, float &printed, double &full, std::optional<double> &error) {
              const Line line = quantity(key, 4, 3);
              text = line.fields[1];
              printed = value<float>(line, 2);
              full = value<double>(line, 3);
              error = optional_value<double>(line, 4);
          };
    read_coefficient(kInitialVelocityKey, fit.initial_velocity_text, fit.initial_velocity, fit.statistics.intercept,
        fit.statistics.intercept_error);
    read_coefficient(
        kAccelerationKey, fit.acceleration_text, fit.acceleration, fit.statistics.slope, fit.statistics.slope_error);
    // r² and the number of points leave the printed text's column empty.
    const Line r2 = quantity(kRSquaredKey, 2, 0);
    if (!r2.fields.value(1).isEmpty())
        broken(r2);
    fit.statistics.r_squared = optional_value<double>(r2, 2);
    const Line points = quantity(kPointsKey, 2, 2);
    if (!points.fields[1].isEmpty())
        broken(points);
    fit.statistics.points = value<std::int32_t>(points, 2);
    blank();
    record.fit = fit;
}

void Reader::read_position_fit(MeasurementRecord &record)
{
    table_head(kPositionFitTitle, kPositionFitColumns);
    PositionFitRecord fit;
    const Line initial_velocity = quantity(kInitialVelocityKey, 2);
    fit.initial_velocity = value<double>(initial_velocity, 1);
    fit.initial_velocity_error = optional_value<double>(initial_velocity, 2);
    const Line acceleration = quantity(kAccelerationKey, 2);
    fit.acceleration = value<double>(acceleration, 1);
    fit.acceleration_error = optional_value<double>(acceleration, 2);
    fit.r_squared = value<double>(quantity(kRSquaredKey, 1), 1);
    fit.edges = value<std::int32_t>(quantity(kEdgesKey, 1), 1);
    blank();
    record.position_fit = fit;
}

void Reader::read_strip_check(MeasurementRecord &record)
{
    table_head(kStripCheckTitle, kStripCheckColumns);
    StripCheckRecord check;
    // Section numbers separated by single blanks; none leaves the field empty.
    auto read_sections = [&](const QString &key, std::vector<std::int32_t> &sections) {
        const Line line = quantity(key, 1, 0);
        if (line.fields.size() < 2)
            return;
        for (const QString &number : line.fields[1].split(QLatin1Char(' '))) {
            const std::optional<std::int32_t> k = number_of<std::int32_t>(number);
            if (!k || *k < 1)
                broken(line);
            sections.push_back(*k);
        }
    };
    read_sections(kMissedHolesKey, check.missed_hole_sections);
    read_sections(kExtraEdgesKey, check.extra_edge_sections);
    check.followable_speed_cm_s = optional_value<double>(quantity(kFollowableSpeedKey, 1, 0), 1);
    if (next_is(kCoarsePeriodKey))
        read_sections(kCoarsePeriodKey, check.coarse_period_sections);
    if (next_is(kTurnKey)) {
        const Line turn = quantity(kTurnKey, 1, 0);
        check.turn_section = optional_value<std::int32_t>(turn, 1);
        if (check.turn_section && *check.turn_section < 1)
            broken(turn);
    }
    if (next_is(kTornHolesKey))
        read_sections(kTornHolesKey, check.torn_hole_sections);
    blank();
    record.strip_check = check;
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

}  // namespace

ReadResult read_measurement_csv(QIODevice &device) { return Reader(device).read(); }

ReadResult parse_measurement_csv(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return read_measurement_csv(buffer);
}

}  // namespace storage
