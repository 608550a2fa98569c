// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lesson/kept_folders.h"

#include "storage/csv_fields.h"
#include "storage/file_io.h"

#include <QBuffer>
#include <QDir>

namespace {

const QString kIndexName = QStringLiteral("lesson.csv");
const QString kIndexTitle = QStringLiteral("運動の解析 授業の控え");
const QString kLayout = QStringLiteral("1");
const QString kSetAside = QStringLiteral(".読めない");
constexpr qint64 kLargestIndex = 1 << 20;

}  // namespace

QStringList kept_lesson_folders(const QString &data_folder)
{
    const QDir root(QDir(data_folder).filePath(QStringLiteral("lessons")));
    QStringList folders;
    // Named by the moment each began: the names sort as the lessons came.
    for (const QString &name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        if (!name.endsWith(kSetAside))
            folders << root.filePath(name);
    return folders;
}

std::optional<storage::LessonRecord> read_kept_lesson(const QString &folder)
{
    storage::ReadFailure failure;
    const std::optional<QByteArray> bytes
        = storage::read_whole_file(QDir(folder).filePath(kIndexName), kLargestIndex, failure);
    if (!bytes)
        return std::nullopt;
    QByteArray data = *bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    storage::CsvRecordReader reader(buffer, kLargestIndex);
    std::vector<QStringList> lines;
    bool complete = false;
    for (storage::CsvRecord record; reader.next(record) == storage::CsvRecordReader::Next::Record;) {
        QStringList fields;
        for (const QByteArray &field : record.fields)
            fields << QString::fromUtf8(field);
        if (!record.ended || record.broken)
            return std::nullopt;
        if (fields == QStringList{QStringLiteral("終わり")}) {
            complete = true;
            break;
        }
        lines.push_back(fields);
    }
    if (!complete || lines.size() < 5 || lines[0] != QStringList{kIndexTitle, kLayout})
        return std::nullopt;
    storage::LessonRecord record;
    record.condition_name = lines[1].value(1);
    record.unit = lines[2].value(1);
    record.inverse = lines[3].value(1) == QStringLiteral("1/x");
    record.through_origin = lines[4].value(1) == QStringLiteral("はい");
    for (std::size_t i = 5; i < lines.size(); ++i) {
        const QStringList &line = lines[i];
        if (line.value(0) != QStringLiteral("計測") || line.value(1).isEmpty()
            || line.value(1).contains(QLatin1Char('/')))
            return std::nullopt;
        const storage::ReadResult read = storage::read_measurement_file(QDir(folder).filePath(line.value(1)));
        if (!read.record)
            return std::nullopt;
        storage::LessonRunRecord run;
        run.measurement = *read.record;
        run.late = line.value(2) == QStringLiteral("1");
        run.memo = line.value(3);
        if (!line.value(4).isEmpty()) {
            run.value = storage::number_of<double>(line.value(4));
            if (!run.value)
                return std::nullopt;
        }
        record.runs.push_back(std::move(run));
    }
    return record;
}
