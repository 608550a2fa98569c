// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lesson_table_model.h"

#include "lesson/lesson.h"
#include "lesson_commands.h"
#include "lesson_plots.h"
#include "lesson_texts.h"

#include <QBrush>
#include <QUndoStack>

LessonTableModel::LessonTableModel(Lesson &lesson, QUndoStack &undo, std::function<bool()> read_only, QObject *parent)
    : QAbstractTableModel(parent), lesson_(lesson), undo_(undo), read_only_(std::move(read_only))
{
    // A run added or taken out renumbers the rows below it: the table is laid out again.
    auto relayout = [this] {
        beginResetModel();
        endResetModel();
    };
    connect(&lesson_, &Lesson::runs_added, this, relayout);
    connect(&lesson_, &Lesson::runs_removed, this, relayout);
    connect(&lesson_, &Lesson::reset, this, relayout);
    connect(&lesson_, &Lesson::run_changed, this, [this](std::size_t k) {
        const int row = static_cast<int>(k);
        emit dataChanged(index(row, 0), index(row, kLessonColumns - 1));
    });
}

int LessonTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(lesson_.runs().size());
}

int LessonTableModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : kLessonColumns; }

QVariant LessonTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const auto k = static_cast<std::size_t>(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return lesson_cells(lesson_, k).value(index.column());
    case Qt::TextAlignmentRole:
        if (index.column() == kMemoColumn || index.column() == kGroupColumn || index.column() == kCheckColumn)
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::ForegroundRole:
        // The run's number in the colour of its points on the graphs.
        if (index.column() == kRunColumn)
            return QBrush(run_colour(k).darker(k % 8 == 4 ? 160 : 100));
        return {};
    default:
        return {};
    }
}

QVariant LessonTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return lesson_column_names().value(section);
    return {};
}

Qt::ItemFlags LessonTableModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    const int column = index.column();
    const bool editable = column == kGroupColumn || column == kMemoColumn || column == kValueColumn
        || column == kHolesColumn || column == kRangeColumn;
    if (editable && !read_only_())
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool LessonTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const LessonRun &run = lesson_.runs().at(static_cast<std::size_t>(index.row()));
    const QString text = value.toString();
    RunCells after = cells_of(run);
    switch (index.column()) {
    case kGroupColumn:
        after.group = text;
        break;
    case kMemoColumn:
        after.memo = text;
        break;
    case kValueColumn: {
        const std::optional<double> typed = parse_condition_value(text);
        // A text that is no value gives way to the value the run keeps.
        if (!typed && !text.trimmed().isEmpty())
            return false;
        after.value = typed;
        break;
    }
    case kHolesColumn: {
        const std::optional<std::int16_t> holes = parse_holes(text);
        if (!holes)
            return false;
        after.holes = *holes;
        break;
    }
    case kRangeColumn: {
        // An empty cell: every section before a turn again.
        const std::optional<common::TimeRange> range = parse_range(text, recording_seconds(run.recording));
        if (!range && !text.trimmed().isEmpty())
            return false;
        after.range = range;
        break;
    }
    default:
        return false;
    }
    if (after == cells_of(run))
        return true;
    undo_.push(new EditRunCommand(lesson_, run.id, cells_of(run), after));
    return true;
}
