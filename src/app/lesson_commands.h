// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Every edit of the lesson as a command on the lesson window's undo stack: a cell of a run (班,
// メモ, 条件の値, 穴数, 範囲(s)), a run deleted, the lesson's settings, the runs of another group's
// file added. Runs are named by their id, which stays with them whatever their place.

#include "lesson/lesson.h"

#include <QUndoCommand>

#include <cstdint>
#include <vector>

// What a run's cells hold that the class can change.
struct RunCells {
    QString group;
    QString memo;
    std::optional<double> value;
    std::int16_t holes = 1;
    std::optional<common::TimeRange> range;
    bool operator==(const RunCells &) const = default;
};
RunCells cells_of(const LessonRun &run);

class EditRunCommand : public QUndoCommand {
public:
    EditRunCommand(Lesson &lesson, std::uint64_t run, RunCells before, RunCells after);
    void redo() override;
    void undo() override;

private:
    void put(const RunCells &cells);
    Lesson &lesson_;
    std::uint64_t run_;
    RunCells before_;
    RunCells after_;
};

class RemoveRunCommand : public QUndoCommand {
public:
    RemoveRunCommand(Lesson &lesson, std::size_t place);
    void redo() override;
    void undo() override;

private:
    Lesson &lesson_;
    std::uint64_t run_;
    std::size_t place_;
    bool shown_ = false;  // it was the run on screen, and is again when it comes back
    std::optional<LessonRun> taken_;
};

class SettingsCommand : public QUndoCommand {
public:
    SettingsCommand(Lesson &lesson, LessonSettings before, LessonSettings after);
    void redo() override { lesson_.set_settings(after_); }
    void undo() override { lesson_.set_settings(before_); }

private:
    Lesson &lesson_;
    LessonSettings before_;
    LessonSettings after_;
};

// Runs of another lesson added at the end; undo takes them out again.
class AddRunsCommand : public QUndoCommand {
public:
    AddRunsCommand(Lesson &lesson, std::vector<LessonRun> runs);
    void redo() override;
    void undo() override;

private:
    Lesson &lesson_;
    std::vector<LessonRun> runs_;
    std::vector<std::uint64_t> ids_;
};
