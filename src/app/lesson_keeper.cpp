// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lesson_keeper.h"

#include "lesson.h"
#include "messages.h"
#include "storage/csv_fields.h"
#include "storage/file_io.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>

#include <algorithm>

namespace {

const QString kIndexName = QStringLiteral("lesson.csv");
const QString kIndexTitle = QStringLiteral("運動の解析 授業の控え");
const QString kLayout = QStringLiteral("1");
const QString kSetAside = QStringLiteral(".読めない");

QString value_text(const std::optional<double> &value) { return value ? QString::number(*value, 'g', 17) : QString(); }

QByteArray index_of(const Lesson &lesson, const std::map<std::uint64_t, QString> &files)
{
    QByteArray out("\xEF\xBB\xBF");
    out += storage::csv_row({kIndexTitle, kLayout});
    out += storage::csv_row({QStringLiteral("条件の名前"), lesson.condition_name()});
    out += storage::csv_row({QStringLiteral("単位"), lesson.unit()});
    out += storage::csv_row({QStringLiteral("横軸"), lesson.inverse() ? QStringLiteral("1/x") : QStringLiteral("x")});
    out += storage::csv_row(
        {QStringLiteral("原点を通る"), lesson.through_origin() ? QStringLiteral("はい") : QStringLiteral("いいえ")});
    for (const LessonRun &run : lesson.runs())
        out += storage::csv_row({QStringLiteral("計測"), files.at(run.id),
            run.late ? QStringLiteral("1") : QStringLiteral("0"), run.memo, value_text(run.value)});
    out += storage::csv_row({QStringLiteral("終わり")});
    return out;
}

}  // namespace

LessonKeeper::LessonKeeper(Lesson &lesson, QString data_folder, QObject *parent)
    : QObject(parent), lesson_(lesson), root_(QDir(data_folder).filePath(QStringLiteral("lessons")))
{
    connect(&lesson_, &Lesson::changed, this, [this] {
        if (!restoring_)
            keep();
    });
}

void LessonKeeper::open_new_folder()
{
    QDir().mkpath(root_);
    // Named by the moment it began, so that the names sort as the lessons came.
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    folder_ = QDir(root_).filePath(stamp);
    for (int n = 2; QFileInfo::exists(folder_); ++n)
        folder_ = QDir(root_).filePath(stamp + QStringLiteral("-%1").arg(n));
    QDir().mkpath(folder_);
    run_files_.clear();
    next_file_ = 1;
    prune();
}

void LessonKeeper::prune()
{
    QDir root(root_);
    QStringList lessons = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    lessons.erase(
        std::remove_if(lessons.begin(), lessons.end(), [](const QString &name) { return name.endsWith(kSetAside); }),
        lessons.end());
    while (lessons.size() > kLessonsKept) {
        QDir(root.filePath(lessons.front())).removeRecursively();
        lessons.removeFirst();
    }
}

void LessonKeeper::restore()
{
    QDir root(root_);
    QStringList lessons = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    lessons.erase(
        std::remove_if(lessons.begin(), lessons.end(), [](const QString &name) { return name.endsWith(kSetAside); }),
        lessons.end());
    if (lessons.isEmpty()) {
        open_new_folder();
        keep();
        return;
    }
    const QString newest = root.filePath(lessons.back());
    if (restore_from(newest)) {
        status_ = messages::lesson_brought_back(static_cast<int>(lesson_.runs().size()));
        return;
    }
    // Set aside, never deleted: the teacher may still want what is in it.
    QString aside = newest + kSetAside;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = newest + kSetAside + QString::number(n);
    QDir().rename(newest, aside);
    status_ = messages::lesson_set_aside(QDir::toNativeSeparators(aside));
    restoring_ = true;
    lesson_.clear();
    restoring_ = false;
    open_new_folder();
    keep();
}

bool LessonKeeper::restore_from(const QString &folder)
{
    storage::ReadFailure failure;
    const std::optional<QByteArray> bytes
        = storage::read_whole_file(QDir(folder).filePath(kIndexName), 1 << 20, failure);
    if (!bytes)
        return false;
    QByteArray data = *bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    storage::CsvRecordReader reader(buffer, 1 << 20);
    std::vector<QStringList> lines;
    bool complete = false;
    for (storage::CsvRecord record; reader.next(record) == storage::CsvRecordReader::Next::Record;) {
        QStringList fields;
        for (const QByteArray &field : record.fields)
            fields << QString::fromUtf8(field);
        if (!record.ended || record.broken)
            return false;
        if (fields == QStringList{QStringLiteral("終わり")}) {
            complete = true;
            break;
        }
        lines.push_back(fields);
    }
    if (!complete || lines.size() < 5 || lines[0] != QStringList{kIndexTitle, kLayout})
        return false;
    storage::LessonRecord record;
    record.condition_name = lines[1].value(1);
    record.unit = lines[2].value(1);
    record.inverse = lines[3].value(1) == QStringLiteral("1/x");
    record.through_origin = lines[4].value(1) == QStringLiteral("はい");
    std::vector<QString> files;
    for (std::size_t i = 5; i < lines.size(); ++i) {
        const QStringList &line = lines[i];
        if (line.value(0) != QStringLiteral("計測") || line.value(1).isEmpty()
            || line.value(1).contains(QLatin1Char('/')))
            return false;
        const storage::ReadResult read = storage::read_measurement_file(QDir(folder).filePath(line.value(1)));
        if (!read.record)
            return false;
        storage::LessonRunRecord run;
        run.measurement = *read.record;
        run.late = line.value(2) == QStringLiteral("1");
        run.memo = line.value(3);
        if (!line.value(4).isEmpty()) {
            run.value = storage::number_of<double>(line.value(4));
            if (!run.value)
                return false;
        }
        record.runs.push_back(std::move(run));
        files.push_back(line.value(1));
    }
    restoring_ = true;
    const bool loaded = lesson_.load(record);
    restoring_ = false;
    if (!loaded)
        return false;
    folder_ = folder;
    run_files_.clear();
    next_file_ = 1;
    for (std::size_t k = 0; k < files.size(); ++k) {
        run_files_[lesson_.runs()[k].id] = files[k];
        next_file_ = std::max<std::uint32_t>(next_file_, static_cast<std::uint32_t>(k) + 2);
    }
    // Files of later runs must not take an earlier name.
    while (QFileInfo::exists(QDir(folder_).filePath(QStringLiteral("run-%1.csv").arg(next_file_))))
        ++next_file_;
    return true;
}

void LessonKeeper::start_new()
{
    restoring_ = true;
    lesson_.clear();
    restoring_ = false;
    open_new_folder();
    status_.clear();
    keep();
}

bool LessonKeeper::keep()
{
    if (folder_.isEmpty())
        open_new_folder();
    const QDateTime now = QDateTime::currentDateTime();
    std::optional<storage::SaveFailure> failure;
    for (std::size_t k = 0; k < lesson_.runs().size() && !failure; ++k) {
        const std::uint64_t id = lesson_.runs()[k].id;
        if (run_files_.count(id))
            continue;
        QString name = QStringLiteral("run-%1.csv").arg(next_file_);
        while (QFileInfo::exists(QDir(folder_).filePath(name)))
            name = QStringLiteral("run-%1.csv").arg(++next_file_);
        failure = storage::save_whole_file(
            QDir(folder_).filePath(name), storage::write_measurement_csv(lesson_.measurement_record(k, now)));
        if (!failure) {
            run_files_[id] = name;
            ++next_file_;
        }
    }
    if (!failure)
        failure = storage::save_whole_file(QDir(folder_).filePath(kIndexName), index_of(lesson_, run_files_));
    if (failure) {
        if (!failure_told_)
            emit keeping_failed(messages::lesson_cannot_keep(QDir::toNativeSeparators(folder_), *failure));
        failure_told_ = true;
        return false;
    }
    failure_told_ = false;
    return true;
}
