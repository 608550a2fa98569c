// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lesson_desk.h"

#include "form1.h"
#include "lesson/lesson.h"
#include "lesson/lesson_store.h"
#include "lesson_commands.h"
#include "lesson_texts.h"
#include "messages.h"
#include "storage/file_io.h"
#include "storage/lesson_csv.h"

#include <QDateTime>
#include <QFileInfo>

LessonDesk::LessonDesk(Form1 &form, Lesson &lesson, LessonStore &keeper, QObject *parent)
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
        if (state.graphed && lesson_.shown() && form_.document().strip_analysis && !read_only())
            lesson_.set_holes(*lesson_.shown(), state.holes_per_section);
    });
    // The range is the run's: one chosen in the window for the run on screen is an edit of the
    // lesson, undone in the lesson window as any other; and the run's range, whatever changed it,
    // is the window's.
    connect(&document, &MeasurementDocument::range_changed, this, [this] {
        const std::optional<std::size_t> shown = lesson_.shown();
        if (!shown || read_only())
            return;
        const LessonRun &run = lesson_.runs()[*shown];
        const std::optional<common::TimeRange> &range = form_.document().range;
        if (range == run.range || (range && !range_fits(*range, recording_seconds(run.recording))))
            return;
        RunCells after = cells_of(run);
        after.range = range;
        undo_.push(new EditRunCommand(lesson_, run.id, cells_of(run), after));
    });
    connect(&lesson_, &Lesson::run_changed, this, [this](std::size_t k) {
        if (lesson_.shown() == k)
            form_.document().set_range(lesson_.runs()[k].range);
    });
    // The commands name runs of the lesson they were made in.
    connect(&lesson_, &Lesson::reset, &undo_, &QUndoStack::clear);
}

bool LessonDesk::read_only() const { return keeper_.read_only(); }

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
    keeper_.make_writable();
    if (lesson_.full()) {
        lesson_.set_shown(std::nullopt);
        form_.show_message(messages::lesson_full(static_cast<int>(Lesson::kMostRuns)));
        return;
    }
    LessonRun run;
    run.recording = recording;
    run.origin = document.origin;
    // A file brings its own range.
    if (document.range && range_fits(*document.range, recording_seconds(recording)))
        run.range = document.range;
    run.holes = form_.holes_setting();
    run.late = late;
    run.late_readings = document.late_readings;
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
    // Once it is the run on screen: the range is the run's own, not a change of it.
    form_.document().set_range(lesson_.runs()[k].range);
}

std::optional<std::pair<LessonSettings, std::vector<LessonRun>>> LessonDesk::read_lesson(const QString &path)
{
    storage::ReadFailure failure;
    const std::optional<QByteArray> bytes = storage::read_whole_file(path, storage::kMaxLessonBytes, failure);
    if (!bytes) {
        form_.show_message(messages::file_cannot_open(path, failure));
        return std::nullopt;
    }
    const storage::LessonReadResult read = storage::parse_lesson_csv(*bytes);
    if (!read.lesson) {
        form_.show_message(messages::file_cannot_open(path, read.failure));
        return std::nullopt;
    }
    // Every run is checked before anything changes.
    std::size_t failed = 0;
    std::optional<std::vector<LessonRun>> runs = Lesson::runs_of_record(*read.lesson, &failed);
    if (!runs) {
        form_.show_message(messages::lesson_run_refused(path, static_cast<int>(failed) + 1));
        return std::nullopt;
    }
    return std::make_pair(Lesson::settings_of_record(*read.lesson), std::move(*runs));
}

bool LessonDesk::open_lesson(const QString &path)
{
    auto read = read_lesson(path);
    if (!read)
        return false;
    // The lesson it replaces stays kept.
    keeper_.start_new();
    lesson_.replace(read->first, std::move(read->second));
    if (!lesson_.runs().empty())
        show_run(lesson_.runs().size() - 1);
    return true;
}

bool LessonDesk::pool_lesson(const QString &path)
{
    auto read = read_lesson(path);
    if (!read)
        return false;
    std::vector<LessonRun> added;
    const QString file_group = QFileInfo(path).completeBaseName();
    for (LessonRun &run : read->second) {
        // The same readings are one run, however many groups' files hold them.
        const bool known = lesson_.find(run.recording)
            || std::any_of(added.begin(), added.end(),
                [&run](const LessonRun &other) { return common::same_readings(other.recording, run.recording); });
        if (known)
            continue;
        if (run.group.isEmpty())
            run.group = file_group;
        run.id = 0;
        added.push_back(std::move(run));
    }
    if (added.empty())
        return true;
    keeper_.make_writable();
    if (lesson_.runs().size() + added.size() > Lesson::kMostRuns) {
        form_.show_message(messages::lesson_full(static_cast<int>(Lesson::kMostRuns)));
        return false;
    }
    undo_.push(new AddRunsCommand(lesson_, std::move(added)));
    return true;
}

void LessonDesk::start_new()
{
    keeper_.start_new();
    undo_.clear();
}

bool LessonDesk::save_lesson(const QString &path)
{
    const QByteArray bytes
        = storage::write_lesson_csv(lesson_.to_record(QDateTime::currentDateTime(), lesson_copy_rows(lesson_)));
    if (const std::optional<storage::SaveFailure> failure = storage::save_whole_file(path, bytes)) {
        form_.show_message(messages::file_cannot_save(path, *failure));
        return false;
    }
    return true;
}
