// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "storage/lesson_csv.h"

#include "storage/csv_fields.h"
#include "storage/csv_layout.h"

#include <QBuffer>
#include <QLocale>

namespace storage {
namespace {

const QString kLessonTitle = QStringLiteral("運動の解析 授業データ");
// Layout 2 gave each run's marker its group; a file of layout 1 is still read, its runs without one.
const QString kLessonLayout = QStringLiteral("2");
const QString kFirstLayout = QStringLiteral("1");
const QString kConditionKey = QStringLiteral("条件の名前");
const QString kUnitKey = QStringLiteral("単位");
const QString kAxisKey = QStringLiteral("横軸");
const QString kOriginKey = QStringLiteral("原点を通る");
const QString kRunKey = QStringLiteral("計測");
const QString kGroupKey = QStringLiteral("班");
const QString kLateKey = QStringLiteral("遅れ");
const QString kMemoKey = QStringLiteral("メモ");
const QString kValueKey = QStringLiteral("条件の値");
const QString kLessonEnd = QStringLiteral("授業の終わり");
const QString kYes = QStringLiteral("はい");
const QString kNo = QStringLiteral("いいえ");
const QString kX = QStringLiteral("x");
const QString kInverseX = QStringLiteral("1/x");
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// Where each line of the bytes starts, a CR LF, a LF or a CR ending it, as the record reader counts
// them: entry 0 is line 1.
std::vector<qsizetype> line_starts(const QByteArray &bytes)
{
    std::vector<qsizetype> starts{0};
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        if (bytes[i] == '\n' || bytes[i] == '\r')
            starts.push_back(i + 1);
    }
    return starts;
}

struct Refusal {
    ReadFailure failure;
};
[[noreturn]] void refuse(ReadProblem problem, std::int32_t line) { throw Refusal{{problem, line, {}}}; }

class LessonReader {
public:
    explicit LessonReader(const QByteArray &bytes) : bytes_(bytes), buffer_(&bytes_)
    {
        buffer_.open(QIODevice::ReadOnly);
        records_.emplace(buffer_, kMaxLessonBytes);
    }

    LessonReadResult read()
    {
        LessonReadResult result;
        try {
            result.lesson = lesson(result);
        } catch (const Refusal &refusal) {
            result.failure = refusal.failure;
            result.lesson.reset();
        }
        return result;
    }

private:
    struct Line {
        std::int32_t number = 0;
        QStringList fields;
    };

    // The next record as it stands, or false at the end of the data.
    bool fetch(CsvRecord &record)
    {
        const CsvRecordReader::Next next = records_->next(record);
        if (next == CsvRecordReader::Next::TooLarge)
            refuse(ReadProblem::TooLarge, 0);
        return next == CsvRecordReader::Next::Record;
    }

    Line decoded(const CsvRecord &record) const
    {
        // A record that the end of the data cut off means a file cut short.
        if (!record.ended)
            refuse(ReadProblem::Truncated, record.line);
        if (record.broken)
            refuse(ReadProblem::BrokenLine, record.line);
        Line line{record.line, {}};
        for (const QByteArray &field : record.fields) {
            const std::optional<QString> text = decode_field(field, encoding_);
            if (!text)
                refuse(ReadProblem::BrokenLine, record.line);
            line.fields << *text;
        }
        return line;
    }

    // The next record; the end of the data means the file was cut short.
    Line next()
    {
        CsvRecord record;
        if (!fetch(record))
            refuse(ReadProblem::Truncated, records_->last_line());
        return decoded(record);
    }

    Line row(const QString &key, qsizetype values)
    {
        Line line = next();
        if (!same_key(line.fields.value(0), key) || line.fields.size() > values + 1)
            refuse(ReadProblem::BrokenLine, line.number);
        return line;
    }

    // The title says the file's encoding, as a measurement file's does, and the layout of its markers.
    void read_title()
    {
        CsvRecord record;
        std::optional<TextEncoding> encoding;
        if (fetch(record) && !record.broken && !record.fields.empty())
            encoding = encoding_of_title(record.fields[0], records_->had_byte_order_mark(), kLessonTitle);
        if (!encoding)
            refuse(ReadProblem::NotOurs, 1);
        encoding_ = *encoding;
        const Line title = decoded(record);
        if (title.fields.size() != 2 || (title.fields[1] != kLessonLayout && title.fields[1] != kFirstLayout))
            refuse(ReadProblem::NotOurs, title.number);
        first_layout_ = title.fields[1] == kFirstLayout;
    }

    // The fields of a run's marker as layout 2 has them, or nothing for a row of another shape; a
    // row that merely starts with 計測, such as a condition of that name, is none.
    std::optional<QStringList> marker_fields(const QStringList &fields) const
    {
        QStringList marker = fields;
        if (first_layout_ && marker.size() >= 2)
            marker.insert(2, 2, QString());
        const bool shape = (marker.size() == 9 || marker.size() == 10) && same_key(marker[0], kRunKey)
            && (first_layout_ || same_key(marker[2], kGroupKey)) && same_key(marker[4], kLateKey)
            && same_key(marker[6], kMemoKey) && same_key(marker[8], kValueKey);
        if (!shape)
            return std::nullopt;
        return marker;
    }

    LessonRecord lesson(LessonReadResult &result)
    {
        read_title();
        LessonRecord lesson;
        const Line program = row(layout::kProgramKey, 2);
        lesson.program_name = program.fields.value(1);
        lesson.program_version = program.fields.value(2);
        const Line saved = row(layout::kSavedKey, 1);
        lesson.saved_at = date_time_of(saved.fields.value(1));
        if (!lesson.saved_at.isValid())
            refuse(ReadProblem::BrokenLine, saved.number);
        lesson.condition_name = row(kConditionKey, 1).fields.value(1);
        lesson.unit = row(kUnitKey, 1).fields.value(1);
        const Line axis = row(kAxisKey, 1);
        if (axis.fields.value(1) != kX && axis.fields.value(1) != kInverseX)
            refuse(ReadProblem::BrokenLine, axis.number);
        lesson.inverse = axis.fields.value(1) == kInverseX;
        const Line origin = row(kOriginKey, 1);
        if (origin.fields.value(1) != kYes && origin.fields.value(1) != kNo)
            refuse(ReadProblem::BrokenLine, origin.number);
        lesson.through_origin = origin.fields.value(1) == kYes;

        // What a spreadsheet shows is passed over up to the first run; after it, each run follows
        // the one before.
        const std::vector<qsizetype> starts = line_starts(bytes_);
        for (;;) {
            const Line line = next();
            if (line.fields.size() == 1 && same_key(line.fields[0], kLessonEnd))
                return lesson;
            const std::optional<QStringList> marker = marker_fields(line.fields);
            if (!marker && !lesson.runs.empty())
                refuse(ReadProblem::BrokenLine, line.number);
            // A memo may hold line ends: the run's file starts after the marker's last line.
            if (marker)
                read_run({line.number, *marker}, records_->last_line(), starts, lesson, result);
        }
    }

    void read_run(const Line &marker, std::int32_t marker_end, const std::vector<qsizetype> &starts,
        LessonRecord &lesson, LessonReadResult &result)
    {
        const QStringList &f = marker.fields;
        const std::optional<std::int32_t> number = number_of<std::int32_t>(f[1]);
        const bool late_known = f[5] == QStringLiteral("0") || f[5] == QStringLiteral("1");
        if (!number || *number != static_cast<std::int32_t>(lesson.runs.size()) + 1 || !late_known
            || lesson.runs.size() >= kMostLessonRuns)
            refuse(ReadProblem::BrokenLine, marker.number);
        LessonRunRecord run;
        run.group = f[3];
        run.late = f[5] == QStringLiteral("1");
        run.memo = f[7];
        if (!f.value(9).isEmpty()) {
            run.value = number_of<double>(f[9]);
            if (!run.value)
                refuse(ReadProblem::BrokenLine, marker.number);
        }
        // The run's own file: its lines up to the one that closes it.
        std::int32_t last = marker.number;
        for (;;) {
            const Line line = next();
            last = line.number;
            if (line.fields.size() == 1 && same_key(line.fields[0], layout::kEndMark))
                break;
        }
        const auto first_index = static_cast<std::size_t>(marker_end);  // the line after the marker
        const auto end_index = static_cast<std::size_t>(last);
        const qsizetype from = starts[first_index];
        const qsizetype to = end_index < starts.size() ? starts[end_index] : bytes_.size();
        const ReadResult read = parse_measurement_csv(bytes_.mid(from, to - from));
        if (!read.record) {
            ReadFailure failure = read.failure;
            if (failure.line > 0)
                failure.line += marker_end;
            throw Refusal{failure};
        }
        run.measurement = *read.record;
        result.sample_rate_lines.push_back(read.sample_rate_line + marker_end);
        result.last_sample_lines.push_back(read.last_sample_line + marker_end);
        lesson.runs.push_back(std::move(run));
    }

    QByteArray bytes_;
    QBuffer buffer_;
    std::optional<CsvRecordReader> records_;
    TextEncoding encoding_ = TextEncoding::Utf8;
    bool first_layout_ = false;  // layout 1: markers without a group
};

}  // namespace

QByteArray write_lesson_csv(const LessonRecord &lesson)
{
    QByteArray out(kByteOrderMark);
    out += csv_row({kLessonTitle, kLessonLayout});
    out += csv_row({layout::kProgramKey, lesson.program_name, lesson.program_version});
    out += csv_row({layout::kSavedKey, lesson.saved_at.toString(layout::kDateFormat)});
    out += csv_row({kConditionKey, lesson.condition_name});
    out += csv_row({kUnitKey, lesson.unit});
    out += csv_row({kAxisKey, lesson.inverse ? kInverseX : kX});
    out += csv_row({kOriginKey, lesson.through_origin ? kYes : kNo});
    out += csv_row({});
    for (const QStringList &row : lesson.shown_rows)
        out += csv_row(row);
    out += csv_row({});
    for (std::size_t k = 0; k < lesson.runs.size(); ++k) {
        const LessonRunRecord &run = lesson.runs[k];
        const QString value = run.value ? QString::number(*run.value, 'g', QLocale::FloatingPointShortest) : QString();
        out += csv_row({kRunKey, QString::number(k + 1), kGroupKey, run.group, kLateKey,
            run.late ? QStringLiteral("1") : QStringLiteral("0"), kMemoKey, run.memo, kValueKey, value});
        const QByteArray file = write_measurement_csv(run.measurement);
        out += file.startsWith(kByteOrderMark) ? file.mid(3) : file;
    }
    out += csv_row({kLessonEnd});
    return out;
}

bool is_lesson_csv(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    CsvRecordReader records(buffer, kMaxLessonBytes);
    CsvRecord first;
    return records.next(first) == CsvRecordReader::Next::Record && !first.fields.empty()
        && encoding_of_title(first.fields[0], records.had_byte_order_mark(), kLessonTitle);
}

LessonReadResult parse_lesson_csv(const QByteArray &bytes) { return LessonReader(bytes).read(); }

}  // namespace storage
