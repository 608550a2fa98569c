// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lesson_desk.h"

#include "form1.h"
#include "lesson.h"
#include "lesson_keeper.h"
#include "messages.h"
#include "storage/file_io.h"
#include "storage/lesson_csv.h"

#include <QDateTime>

LessonDesk::LessonDesk(Form1 &form, Lesson &lesson, LessonKeeper &keeper, QObject *parent)
    : QObject(parent), form_(form), lesson_(lesson), keeper_(keeper)
{
    MeasurementDocument &document = form.document();
    connect(
        &document, &MeasurementDocument::recording_finished, this, [this](bool late) { add_measurement(late, false); });
    connect(&document, &MeasurementDocument::recording_opened, this, [this] { add_measurement(false, true); });
    // A new 計測 takes the window's measurement away from the run it showed.
    connect(&document, &MeasurementDocument::measurement_started, this, [this] { lesson_.set_shown(std::nullopt); });
    connect(&document, &MeasurementDocument::graph_changed, this, [this] {
        const common::MeasurementState &state = form_.document().state;
        if (state.graphed && lesson_.shown() && form_.document().strip_analysis)
            lesson_.set_holes(*lesson_.shown(), state.holes_per_section);
    });
}

void LessonDesk::add_measurement(bool late, bool from_file)
{
    const MeasurementDocument &document = form_.document();
    const common::Recording &recording = document.state;
    if (from_file) {
        if (const std::optional<std::size_t> known = lesson_.find(recording)) {
            lesson_.set_shown(known);
            return;
        }
    }
    LessonRun run;
    run.recording = recording;
    run.origin = document.origin;
    run.holes = form_.holes_setting();
    run.late = late;
    lesson_.set_shown(lesson_.add(std::move(run)));
}

void LessonDesk::show_run(std::size_t k)
{
    if (k >= lesson_.runs().size() || form_.sampling())
        return;
    storage::ReadResult read;
    read.record = lesson_.measurement_record(k, QDateTime::currentDateTime());
    if (put_into_window(form_, read))
        return;
    form_.document().origin = lesson_.runs()[k].origin;
    lesson_.set_shown(k);
}

bool LessonDesk::open_lesson(const QString &path)
{
    storage::ReadFailure failure;
    const std::optional<QByteArray> bytes = storage::read_whole_file(path, storage::kMaxLessonBytes, failure);
    if (!bytes) {
        form_.show_message(messages::file_cannot_open(path, failure));
        return false;
    }
    const storage::LessonReadResult read = storage::parse_lesson_csv(*bytes);
    if (!read.lesson) {
        form_.show_message(messages::file_cannot_open(path, read.failure));
        return false;
    }
    // Every run is checked before anything changes; the lesson it replaces stays kept.
    std::size_t failed = 0;
    if (Lesson trial; !trial.load(*read.lesson, &failed)) {
        form_.show_message(messages::lesson_run_refused(path, static_cast<int>(failed) + 1));
        return false;
    }
    keeper_.start_new();
    lesson_.load(*read.lesson);
    if (!lesson_.runs().empty())
        show_run(lesson_.runs().size() - 1);
    return true;
}

bool LessonDesk::save_lesson(const QString &path)
{
    const QByteArray bytes = storage::write_lesson_csv(lesson_.to_record(QDateTime::currentDateTime()));
    if (const std::optional<storage::SaveFailure> failure = storage::save_whole_file(path, bytes)) {
        form_.show_message(messages::file_cannot_save(path, *failure));
        return false;
    }
    return true;
}
