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
const QString kLessonLayout = QStringLiteral("1");
const QString kConditionKey = QStringLiteral("条件の名前");
const QString kUnitKey = QStringLiteral("単位");
const QString kAxisKey = QStringLiteral("横軸");
const QString kOriginKey = QStringLiteral("原点を通る");
const QString kRunKey = QStringLiteral("計測");
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

    // The next record; the end of the data means the file was cut short.
    Line next()
    {
        CsvRecord record;
        const CsvRecordReader::Next next = records_->next(record);
        if (next == CsvRecordReader::Next::TooLarge)
            refuse(ReadProblem::TooLarge, 0);
        if (next != CsvRecordReader::Next::Record)
            refuse(ReadProblem::Truncated, records_->last_line());
        Line line{record.line, {}};
        // A record that the end of the data cut off means a file cut short.
        if (!record.ended)
            refuse(ReadProblem::Truncated, record.line);
        if (record.broken)
            refuse(ReadProblem::BrokenLine, record.line);
        for (const QByteArray &field : record.fields) {
            const std::optional<QString> text = decode_field(field, TextEncoding::Utf8);
            if (!text)
                refuse(ReadProblem::BrokenLine, record.line);
            line.fields << *text;
        }
        return line;
    }

    Line row(const QString &key, qsizetype values)
    {
        Line line = next();
        if (line.fields.value(0) != key || line.fields.size() > values + 1)
            refuse(ReadProblem::BrokenLine, line.number);
        return line;
    }

    LessonRecord lesson(LessonReadResult &result)
    {
        const Line title = next();
        if (title.fields.value(0) != kLessonTitle || title.fields.value(1) != kLessonLayout || title.fields.size() != 2)
            refuse(ReadProblem::NotOurs, title.number);
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

        // What a spreadsheet shows is passed over: the runs follow it.
        const std::vector<qsizetype> starts = line_starts(bytes_);
        for (;;) {
            const Line line = next();
            if (line.fields.value(0) == kLessonEnd && line.fields.size() == 1)
                return lesson;
            if (line.fields.value(0) != kRunKey)
                continue;
            // A memo may hold line ends: the run's file starts after the marker's last line.
            read_run(line, records_->last_line(), starts, lesson, result);
        }
    }

    void read_run(const Line &marker, std::int32_t marker_end, const std::vector<qsizetype> &starts,
        LessonRecord &lesson, LessonReadResult &result)
    {
        const QStringList &f = marker.fields;
        const std::optional<std::int32_t> number = number_of<std::int32_t>(f.value(1));
        const bool late_known = f.value(3) == QStringLiteral("0") || f.value(3) == QStringLiteral("1");
        if (!number || *number != static_cast<std::int32_t>(lesson.runs.size()) + 1 || f.value(2) != kLateKey
            || !late_known || f.value(4) != kMemoKey || f.value(6) != kValueKey || f.size() > 8
            || lesson.runs.size() >= kMostLessonRuns)
            refuse(ReadProblem::BrokenLine, marker.number);
        LessonRunRecord run;
        run.late = f.value(3) == QStringLiteral("1");
        run.memo = f.value(5);
        if (!f.value(7).isEmpty()) {
            run.value = number_of<double>(f.value(7));
            if (!run.value)
                refuse(ReadProblem::BrokenLine, marker.number);
        }
        // The run's own file: its lines up to the one that closes it.
        std::int32_t last = marker.number;
        for (;;) {
            const Line line = next();
            last = line.number;
            if (line.fields.value(0) == layout::kEndMark && line.fields.size() == 1)
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
        out += csv_row({kRunKey, QString::number(k + 1), kLateKey, run.late ? QStringLiteral("1") : QStringLiteral("0"),
            kMemoKey, run.memo, kValueKey, value});
        const QByteArray file = write_measurement_csv(run.measurement);
        out += file.startsWith(kByteOrderMark) ? file.mid(3) : file;
    }
    out += csv_row({kLessonEnd});
    return out;
}

bool is_lesson_csv(const QByteArray &bytes)
{
    const QByteArray start = bytes.startsWith(kByteOrderMark) ? bytes.mid(3, 64) : bytes.left(64);
    return start.startsWith((kLessonTitle + QLatin1Char(',')).toUtf8());
}

LessonReadResult parse_lesson_csv(const QByteArray &bytes) { return LessonReader(bytes).read(); }

}  // namespace storage
