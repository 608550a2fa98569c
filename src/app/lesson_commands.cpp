// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lesson_commands.h"

RunCells cells_of(const LessonRun &run) { return {run.group, run.memo, run.value, run.holes, run.range}; }

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
    lesson_.set_range(*k, cells.range);
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
    // One change: the first time the runs get their ids, after an undo they come back with them.
    const std::optional<std::size_t> first = lesson_.add_runs(runs_);
    ids_.clear();
    if (!first)
        return;
    for (std::size_t k = *first; k < lesson_.runs().size(); ++k)
        ids_.push_back(lesson_.runs()[k].id);
    for (std::size_t i = 0; i < runs_.size() && i < ids_.size(); ++i)
        runs_[i].id = ids_[i];
}

void AddRunsCommand::undo() { lesson_.take_runs(ids_); }
