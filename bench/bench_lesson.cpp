// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "bench_parts.h"

#include "acquisition/qt_loop_host.h"
#include "common/clock.h"
#include "common/measurement_plan.h"
#include "converter/converter.h"
#include "converter/simulated_cart.h"
#include "form1.h"
#include "inline_run_place.h"
#include "lesson/lesson.h"
#include "lesson/lesson_store.h"
#include "lesson_desk.h"
#include "lesson_texts.h"
#include "lesson_view.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fstream>
#include <iostream>
#include <memory>
#include <string>

namespace bench {
namespace {

constexpr int kRuns = 30;

// VmRSS of this process, in KiB.
long resident_kib()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

// A run of 10 s at 1 ms (10001 readings) of the simulated cart, taken at exact instants.
LessonRun ten_second_run(int k)
{
    converter::SimulatedCart cart(converter::CartMotion{5.0 + k, 2.0 + 0.5 * k, 0.05});
    auto state = std::make_unique<common::MeasurementState>();
    common::start_measurement(*state, 1, 10);
    for (std::int32_t i = 0; i <= state->last_sample; ++i)
        state->samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(cart.sensor_reading(i * 1e-3));
    LessonRun run;
    run.recording = *state;
    run.origin.source = {QStringLiteral("simulated")};
    run.value = 1.0 + k;
    return run;
}

std::string ms(const std::vector<double> &times) { return fixed(median(times), 2) + " / " + fixed(maximum(times), 2); }

}  // namespace

void run_lesson_bench(const Options &options)
{
    (void)options;
    QTemporaryDir data;
    QTemporaryDir files;
    common::SteadyClock clock;
    acquisition::QtLoopHost host(clock);
    converter::NoLines lines;
    converter::LineConverter link(lines);
    converter::ConverterSession session(link);
    test_support::InlineRunPlace place(host);
    Form1 form(place, session, "COM1");
    Lesson lesson;
    LessonStore keeper(lesson, data.path());
    keeper.restore();
    LessonDesk desk(form, lesson, keeper);

    std::vector<LessonRun> runs;
    for (int k = 0; k < kRuns; ++k)
        runs.push_back(ten_second_run(k));
    const long before_kib = resident_kib();
    std::vector<double> add_ms;
    std::vector<double> keep_ms;
    for (int k = 0; k < kRuns; ++k) {
        // Adding a run: the lesson takes it, the keeper writes it into the database in one
        // transaction, and its row is worked out, as the open window shows it.
        add_ms.push_back(
            time_each_ms(1, [&] { lesson_cells(lesson, *lesson.add(runs[static_cast<std::size_t>(k)])); }).front());
        // A cell edited: one change kept.
        keep_ms.push_back(
            time_each_ms(1, [&] { lesson.set_memo(static_cast<std::size_t>(k), QStringLiteral("メモ")); }).front());
    }
    const double added_mib = static_cast<double>(resident_kib() - before_kib) / 1024.0;

    // The next start: the lesson brought back from the database, every run read and checked.
    const double restore_ms = time_each_ms(1, [&] {
        Lesson again;
        LessonStore next(again, data.path());
        next.restore();
    }).front();

    std::unique_ptr<LessonView> view;
    const double open_ms = time_each_ms(1, [&] {
        view = std::make_unique<LessonView>(desk, &form);
        view->show();
    }).front();
    std::vector<double> redraw_ms;
    for (int k = 0; k < 5; ++k) {
        lesson.set_through_origin(k % 2 == 0);
        redraw_ms.push_back(time_each_ms(1, [&] { view->refresh(); }).front());
    }
    const QString path = QDir(files.path()).filePath(QStringLiteral("lesson.csv"));
    const double save_ms = time_each_ms(1, [&] { desk.save_lesson(path); }).front();
    const double file_mib = static_cast<double>(QFile(path).size()) / (1024.0 * 1024.0);
    const double open_file_ms = time_each_ms(1, [&] { desk.open_lesson(path); }).front();
    const bool read_back = lesson.runs().size() == static_cast<std::size_t>(kRuns);

    Table table("6. A lesson of 30 runs of 10 s at 1 ms (10001 readings each)",
        {"step", "median / max ms", "target", "result"});
    table.add_row({"add a run, its row worked out", ms(add_ms), "≤ 50 ms", verdict(maximum(add_ms) <= 50)});
    table.add_row({"keep a cell's change on disk", ms(keep_ms), "≤ 20 ms", verdict(maximum(keep_ms) <= 20)});
    table.add_row({"bring the lesson back at the start", fixed(restore_ms, 1), "≤ 500 ms", verdict(restore_ms <= 500)});
    table.add_row({"open the lesson window", fixed(open_ms, 2), "≤ 50 ms", verdict(open_ms <= 50)});
    table.add_row(
        {"redraw the lesson window (table and graphs)", ms(redraw_ms), "≤ 50 ms", verdict(maximum(redraw_ms) <= 50)});
    table.add_row({"save the lesson file (" + fixed(file_mib, 1) + " MiB)", fixed(save_ms, 1), "≤ 500 ms",
        verdict(save_ms <= 500)});
    table.add_row({"open the lesson file, every run read back", fixed(open_file_ms, 1), "≤ 500 ms",
        verdict(open_file_ms <= 500 && read_back)});
    table.add_row({"memory added for the 30 runs", fixed(added_mib, 1) + " MiB", "≤ 60 MiB", verdict(added_mib <= 60)});
    table.add_note("The keeper writes each change into the SQLite database in one transaction, in WAL mode with full "
                   "syncing, so that each is on the disk once made: a run with its readings when it comes, a cell's "
                   "change by itself. Opening the lesson file also keeps all 30 runs in a new lesson. Memory: the "
                   "resident size after the 30 runs less before them.");
    table.print();
}

}  // namespace bench
