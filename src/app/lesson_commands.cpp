// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lesson_commands.h"

RunCells cells_of(const LessonRun &run) { return {run.group, run.memo, run.value, run.holes}; }

EditRunCommand::EditRunCommand(Lesson &lesson, std::uint64_t run, RunCells before, RunCells after)
    : lesson_(lesson), run_(run), before_(std::move(before)), after_(std::move(after))
{ }

void EditRunCommand::put(const RunCells &cells)
{
    const std::optional<std::size_t> k = lesson_.place_of(run_);
    if (!k)
        return;
    lesson_.set_group(*k, cells.group);
    lesson_.set_memo(*k, cells.memo);
    lesson_.set_value(*k, cells.value);
    lesson_.set_holes(*k, cells.holes);
}

void EditRunCommand::redo() { put(after_); }
void EditRunCommand::undo() { put(before_); }

RemoveRunCommand::RemoveRunCommand(Lesson &lesson, std::size_t place)
    : lesson_(lesson), run_(lesson.runs().at(place).id), place_(place)
{ }

void RemoveRunCommand::redo()
{
    if (const std::optional<std::size_t> k = lesson_.place_of(run_)) {
        place_ = *k;
        shown_ = lesson_.shown() == k;
        taken_ = lesson_.take(*k);
    }
}

void RemoveRunCommand::undo()
{
    if (!taken_)
        return;
    lesson_.insert(place_, std::move(*taken_));
    taken_.reset();
    if (shown_)
        lesson_.set_shown(place_);
}

SettingsCommand::SettingsCommand(Lesson &lesson, LessonSettings before, LessonSettings after)
    : lesson_(lesson), before_(std::move(before)), after_(std::move(after))
{ }

AddRunsCommand::AddRunsCommand(Lesson &lesson, std::vector<LessonRun> runs)
    : lesson_(lesson), runs_(std::move(runs)) { }

void AddRunsCommand::redo()
{
    // The first time the runs get their ids; after an undo they come back with the same ones.
    ids_.clear();
    for (LessonRun &run : runs_) {
        if (run.id == 0) {
            const std::optional<std::size_t> k = lesson_.add(run);
            if (!k)
                break;
            run.id = lesson_.runs()[*k].id;
        } else {
            lesson_.insert(lesson_.runs().size(), run);
        }
        ids_.push_back(run.id);
    }
}

void AddRunsCommand::undo()
{
    for (auto id = ids_.rbegin(); id != ids_.rend(); ++id)
        if (const std::optional<std::size_t> k = lesson_.place_of(*id))
            lesson_.take(*k);
}
