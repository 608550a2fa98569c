// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The lesson table behind the lesson window's view: a row a run, the columns of lesson_texts.h.
// 班, メモ, 条件の値, 穴数 and 範囲(s) can be edited unless the lesson is read-only; each edit goes
// onto the undo stack as a command, and a text that is not a value there is refused.

#include <QAbstractTableModel>

#include <functional>

class Lesson;
class QUndoStack;

class LessonTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    LessonTableModel(Lesson &lesson, QUndoStack &undo, std::function<bool()> read_only, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

private:
    Lesson &lesson_;
    QUndoStack &undo_;
    std::function<bool()> read_only_;
};
