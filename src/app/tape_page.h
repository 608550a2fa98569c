// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The tab テープ of グラフを調べる: the run cut into pieces of equal time and laid side by side, as a
// class lays out the pieces of a ticker-tape timer's tape, with the line through their tops. It
// copies the pieces as rows for a spreadsheet, prints them at their true size and writes the same
// pages to a PDF file.

#include "analysis/analysed_run.h"
#include "analysis/tape.h"
#include "common/reading_span.h"
#include "common/time_range.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QComboBox;
class QCustomPlot;
class QLabel;
class QPagedPaintDevice;

// Tab-separated rows, one a piece, under the heads 片, 開始(s), 終了(s), 長さ(cm) and
// 平均の速さ(cm/s); a piece without length has those two cells empty.
QString tape_copy_text(const analysis::Tape &tape);
// What the tab says under the pieces: the line's slope, and every piece that is not as the others.
QStringList tape_lines(const analysis::Tape &tape, const std::optional<common::TimeRange> &range);

class TapePage : public QWidget {
    Q_OBJECT

public:
    explicit TapePage(QWidget *parent = nullptr);

    // Cuts `run` (none: no run) with its range and its readings that came late; `caption` names the
    // run on paper: its date and its settings.
    void show_run(const analysis::AnalysedRun *run, const std::optional<common::TimeRange> &range,
        const std::vector<common::ReadingSpan> &late_readings, const QString &caption);

    const analysis::Tape &tape() const { return tape_; }
    QComboBox *piece_box() const { return piece_box_; }
    QLabel *lines_label() const { return lines_; }
    QCustomPlot *plot() const { return plot_; }
    // The pieces on A4 pages at their true size; false when there is none to print.
    bool paint_pages(QPagedPaintDevice &device) const;
    bool save_pdf_to(const QString &path);
    using AskPath = std::function<QString(QWidget *parent)>;
    void set_pdf_asker(AskPath ask) { ask_pdf_ = std::move(ask); }

private:
    void cut();
    void draw();
    void copy();
    void print();
    void save_pdf();

    const analysis::AnalysedRun *run_ = nullptr;
    std::optional<common::TimeRange> range_;
    std::vector<common::ReadingSpan> late_readings_;
    QString caption_;
    analysis::Tape tape_;
    AskPath ask_pdf_;

    QComboBox *piece_box_;
    QCustomPlot *plot_;
    QLabel *lines_;
};
