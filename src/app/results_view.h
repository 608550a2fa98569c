// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// 結果の詳細: a window beside the main one with the sections of the graph, the line of 最小２乗法,
// the position fit with its standard errors and what the strip check found, and a button that
// copies it all as tab-separated text. It does not hold the main window: the zoom buttons and
// 最小２乗法 stay live, and the view follows them.

#include <QDialog>

class MeasurementDocument;
class QLabel;
class QPushButton;
class QTableWidget;

class ResultsView : public QDialog {
public:
    // Shows `document`, beside `parent`.
    ResultsView(const MeasurementDocument &document, QWidget *parent);

    // Shows the results of the document's graph as they stand; empty, with a word on what to press,
    // while there is no checked graph of the measurement (before グラフ, after a new 計測 or an
    // opened file).
    void refresh();
    // What the copy button puts on the clipboard; empty while the view is empty.
    QString copy_text() const;

    QTableWidget *section_table() const { return table_; }
    QPushButton *copy_button() const { return copy_button_; }

private:
    void show_sections();
    void show_fits();

    const MeasurementDocument &document_;
    QTableWidget *table_;
    QLabel *line_label_;
    QLabel *position_label_;
    QLabel *findings_label_;
    QPushButton *copy_button_;
};
