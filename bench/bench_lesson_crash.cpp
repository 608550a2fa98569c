// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The lesson through killed programs: a worker edits one lesson as a class would (runs measured,
// cells edited, runs deleted, edits undone and done again, other groups' files added), each edit a
// command of the lesson window's own kind, kept by the lesson's own keeper; it is killed with
// SIGKILL at a random moment and started again on the same data folder, again and again. After each
// start the lesson must be the one after the last edit that was finished before the kill, or, when
// the kill fell inside an edit, the one that edit makes; anything else is a change lost or one
// invented.
//
// Before each edit the worker makes it on a shadow lesson that nothing keeps and prints what the
// lesson will be ("next"); then it makes it on the kept lesson and prints what the lesson is
// ("done").

#include "bench_parts.h"

#include "lesson/lesson.h"
#include "lesson/lesson_store.h"
#include "lesson_commands.h"
#include "lesson_runs.h"
#include "storage/lesson_csv.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUndoStack>

#include <cstdio>
#include <iostream>

namespace bench {
namespace {

// What the lesson holds, as one short text: every setting and every run's readings and cells.
QByteArray digest(const Lesson &lesson)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    const LessonSettings &settings = lesson.settings();
    hash.addData((settings.condition_name + '|' + settings.unit + '|' + QString::number(settings.inverse)).toUtf8());
    for (const LessonRun &run : lesson.runs()) {
        const auto readings = static_cast<qsizetype>(run.recording.last_sample + 1);
        hash.addData(QByteArrayView(reinterpret_cast<const char *>(run.recording.samples.data()),
            readings * static_cast<qsizetype>(sizeof(std::int16_t))));
        hash.addData((run.memo + '|' + run.group + '|' + QString::number(run.holes) + '|'
            + (run.value ? QString::number(*run.value, 'g', 17) : QString()))
                         .toUtf8());
    }
    return hash.result().toHex().left(16) + ' ' + QByteArray::number(lesson.runs().size());
}

void say(const char *what, const QByteArray &text)
{
    std::printf("%s %s\n", what, text.constData());
    std::fflush(stdout);
}

// One edit, made the same way on the shadow and on the kept lesson.
struct Edit {
    int kind = 0;
    std::size_t place = 0;
    int number = 0;
};

// A lesson and the undo stack of its window.
struct Desk {
    Lesson lesson;
    QUndoStack undo;
};

void make(Desk &desk, const Edit &edit, const std::vector<LessonRun> &carts,
    const std::vector<std::vector<LessonRun>> &group_files)
{
    Lesson &lesson = desk.lesson;
    const std::size_t runs = lesson.runs().size();
    const std::size_t k = runs == 0 ? 0 : edit.place % runs;
    switch (edit.kind) {
    case 0: {  // 計測 ends, or a measurement file is opened
        LessonRun run = carts[static_cast<std::size_t>(edit.number) % carts.size()];
        run.memo = QStringLiteral("計測 %1").arg(edit.number);
        lesson.add(std::move(run));
        break;
    }
    case 1:
    case 2:
    case 3: {  // a cell typed: メモ, 条件の値, 穴数 or 班
        if (runs == 0)
            break;
        RunCells after = cells_of(lesson.runs()[k]);
        if (edit.kind == 1)
            after.memo = QStringLiteral("メモ %1").arg(edit.number);
        else if (edit.kind == 2)
            after.value = edit.number % 7 == 0 ? std::nullopt : std::optional<double>(edit.number * 0.25);
        else if (edit.number % 2 == 0)
            after.holes = static_cast<std::int16_t>(1 + edit.number % 5);
        else
            after.group = QStringLiteral("%1班").arg(edit.number % 6);
        desk.undo.push(new EditRunCommand(lesson, lesson.runs()[k].id, cells_of(lesson.runs()[k]), after));
        break;
    }
    case 4:  // Delete
        if (runs > 0)
            desk.undo.push(new RemoveRunCommand(lesson, k));
        break;
    case 5:
        desk.undo.undo();
        break;
    case 6:
        desk.undo.redo();
        break;
    case 7: {  // 授業に加える…: the runs of a group's file that the lesson does not hold yet
        std::vector<LessonRun> added;
        for (const LessonRun &run : group_files[static_cast<std::size_t>(edit.number) % group_files.size()])
            if (!lesson.find(run.recording))
                added.push_back(run);
        if (!added.empty() && runs + added.size() <= Lesson::kMostRuns)
            desk.undo.push(new AddRunsCommand(lesson, std::move(added)));
        break;
    }
    default: {  // the condition's name
        LessonSettings settings = lesson.settings();
        settings.condition_name = QStringLiteral("条件 %1").arg(edit.number);
        desk.undo.push(new SettingsCommand(lesson, lesson.settings(), settings));
        break;
    }
    }
}

// Carts of different accelerations, and three groups' files of two runs each, read from their
// lesson files as 授業に加える… reads them.
void make_runs(std::vector<LessonRun> &carts, std::vector<std::vector<LessonRun>> &group_files)
{
    for (int k = 0; k < 4; ++k)
        carts.push_back(test_support::simulated_run(30.0 + 20 * k));
    for (int group = 0; group < 3; ++group) {
        Lesson file;
        for (int k = 0; k < 2; ++k) {
            LessonRun run = test_support::simulated_run(25.0 + 10 * group + 5 * k, 25);
            run.value = k + 1;
            file.add(std::move(run));
        }
        const QByteArray bytes = storage::write_lesson_csv(file.to_record(QDateTime::currentDateTime(), {}));
        const storage::LessonReadResult read = storage::parse_lesson_csv(bytes);
        std::vector<LessonRun> runs = *Lesson::runs_of_record(*read.lesson);
        for (LessonRun &run : runs)
            run.group = QStringLiteral("%1班").arg(group + 1);
        group_files.push_back(std::move(runs));
    }
}

}  // namespace

int run_lesson_worker(const QString &data_folder, quint32 seed)
{
    std::vector<LessonRun> carts;
    std::vector<std::vector<LessonRun>> group_files;
    make_runs(carts, group_files);
    Desk kept;
    LessonStore keeper(kept.lesson, data_folder);
    keeper.restore();
    say("restored", digest(kept.lesson));
    Desk shadow;
    shadow.lesson.replace(kept.lesson.settings(), kept.lesson.runs());
    QRandomGenerator random(seed);
    for (int n = 0;; ++n) {
        Edit edit;
        // Measured runs and deletions balance, so that the lesson stays at a few dozen runs.
        const int roll = random.bounded(100);
        edit.kind = roll < 15 ? 0
            : roll < 30       ? 1
            : roll < 45       ? 2
            : roll < 60       ? 3
            : roll < 72       ? 4
            : roll < 82       ? 5
            : roll < 88       ? 6
            : roll < 95       ? 7
                              : 8;
        if (edit.kind == 0 && kept.lesson.runs().size() > 40)
            edit.kind = 4;
        edit.place = random.bounded(1000u);
        edit.number = static_cast<int>(random.bounded(100000u));
        make(shadow, edit, carts, group_files);
        say("next", digest(shadow.lesson));
        make(kept, edit, carts, group_files);
        say("done", digest(kept.lesson));
    }
}

void run_lesson_crash_bench(const Options &options)
{
    const int kills = options.quick ? 40 : 200;
    QTemporaryDir data;
    QRandomGenerator random(20261209);
    int wrong = 0;  // a start whose lesson is neither: a finished edit lost, or a change invented
    int inside_an_edit = 0;
    int edits = 0;
    QByteArray last_done = "";
    QByteArray in_flight = "";
    QProcess worker;
    const QString program = QCoreApplication::applicationFilePath();
    // A lesson that the first start makes is empty.
    for (int start = 0; start <= kills; ++start) {
        worker.start(program, {QStringLiteral("--lesson-worker"), data.path(), QString::number(random.generate())});
        worker.waitForStarted();
        QByteArray restored;
        while (restored.isEmpty() && worker.waitForReadyRead(10000)) {
            while (worker.canReadLine()) {
                const QByteArray line = worker.readLine().trimmed();
                if (line.startsWith("restored "))
                    restored = line.mid(9);
            }
        }
        if (start > 0) {
            if (restored == last_done) {
                // Nothing lost, nothing invented.
            } else if (!in_flight.isEmpty() && restored == in_flight) {
                ++inside_an_edit;
            } else {
                ++wrong;
                std::cerr << "start " << start << ": restored " << restored.constData() << ", expected "
                          << last_done.constData() << " or " << in_flight.constData() << "\n";
            }
        }
        last_done = restored;
        in_flight.clear();
        if (start == kills)
            break;
        // Killed at a random moment of its work, 20 to 400 ms after it started editing.
        QDeadlineTimer until(random.bounded(20, 400));
        while (!until.hasExpired()) {
            worker.waitForReadyRead(static_cast<int>(std::max<qint64>(1, until.remainingTime())));
            while (worker.canReadLine()) {
                const QByteArray line = worker.readLine().trimmed();
                if (line.startsWith("next ")) {
                    in_flight = line.mid(5);
                } else if (line.startsWith("done ")) {
                    last_done = line.mid(5);
                    in_flight.clear();
                    ++edits;
                }
            }
        }
        worker.kill();
        worker.waitForFinished();
        // What it printed before it died, but had not been read yet.
        for (const QByteArray &line : worker.readAllStandardOutput().split('\n')) {
            if (line.startsWith("next ")) {
                in_flight = line.mid(5).trimmed();
            } else if (line.startsWith("done ")) {
                last_done = line.mid(5).trimmed();
                in_flight.clear();
                ++edits;
            }
        }
    }
    worker.kill();
    worker.waitForFinished();

    Table table("6b. The lesson through " + std::to_string(kills) + " kills (SIGKILL at random moments)",
        {"what", "count", "target", "result"});
    table.add_row({"edits finished before the kills", std::to_string(edits), "", ""});
    table.add_row({"kills inside an edit, that edit kept whole", std::to_string(inside_an_edit), "", ""});
    table.add_row(
        {"starts that lost a finished edit or held one never made", std::to_string(wrong), "0", verdict(wrong == 0)});
    table.add_note("A worker process edits one lesson through the lesson window's own commands and its keeper: runs "
                   "measured, cells typed, runs deleted, undo and redo, other groups' lesson files added, the "
                   "condition renamed. It is killed with SIGKILL 20 to 400 ms after each start and started again on "
                   "the same data folder; each start must bring back the lesson of the last finished edit, or of the "
                   "edit the kill fell inside.");
    table.print();
}

}  // namespace bench
