// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "results_view.h"

#include "common/number_format.h"
#include "graph_results.h"
#include "measurement_document.h"
#include "messages.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// The copy's columns, with a space before each unit on screen.
QStringList shown_columns()
{
    QStringList columns = section_columns();
    for (QString &column : columns)
        column.replace(QLatin1Char('('), QStringLiteral(" ("));
    return columns;
}
// Sections the strip check flagged, on a pale orange ground; sections beyond the graph in grey.
const QColor kFlaggedGround(255, 228, 196);
const QColor kOffGraphText(128, 128, 128);

}  // namespace

ResultsView::ResultsView(const MeasurementDocument &document, QWidget *parent) : QDialog(parent), document_(document)
{
    setObjectName(QStringLiteral("results_view"));
    setWindowTitle(QStringLiteral("結果の詳細"));
    setModal(false);

    const QStringList columns = shown_columns();
    table_ = new QTableWidget(0, static_cast<int>(columns.size()), this);
    table_->setObjectName(QStringLiteral("section_table"));
    table_->setHorizontalHeaderLabels(columns);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);

    auto label = [this] {
        auto *text = new QLabel(this);
        text->setWordWrap(true);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return text;
    };
    line_label_ = label();
    position_label_ = label();
    findings_label_ = label();
    auto *fits = new QFormLayout;
    fits->addRow(QStringLiteral("最小２乗法"), line_label_);
    fits->addRow(QStringLiteral("位置の当てはめ"), position_label_);
    fits->addRow(QStringLiteral("テープの点検"), findings_label_);

    auto *buttons = new QDialogButtonBox(this);
    copy_button_ = buttons->addButton(QStringLiteral("コピー"), QDialogButtonBox::ActionRole);
    copy_button_->setObjectName(QStringLiteral("copy_results"));
    copy_button_->setAutoDefault(false);
    buttons->addButton(QStringLiteral("閉じる"), QDialogButtonBox::RejectRole)->setAutoDefault(false);
    connect(copy_button_, &QPushButton::clicked, this, [this] { QGuiApplication::clipboard()->setText(copy_text()); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(table_, 1);
    layout->addLayout(fits);
    layout->addWidget(buttons);
    resize(640, 560);
    refresh();
}

QString ResultsView::copy_text() const
{
    if (!document_.strip_analysis)
        return {};
    return results_as_tab_separated(document_.state, *document_.strip_analysis);
}

void ResultsView::refresh()
{
    copy_button_->setEnabled(document_.strip_analysis.has_value());
    show_sections();
    show_fits();
}

void ResultsView::show_sections()
{
    const std::optional<analysis::StripAnalysis> &strip = document_.strip_analysis;
    const std::int32_t sections = strip ? std::max(0, strip->sections) : 0;
    const GraphResults results = document_.results();
    table_->setRowCount(sections);
    for (std::int32_t k = 1; k <= sections; ++k) {
        const QString finding = section_finding(strip->check, k);
        const bool on_graph = k <= document_.state.plotted_sections;
        const QStringList texts = section_texts(document_.state, k) << finding;
        QString tip;
        if (!finding.isEmpty())
            tip = QStringLiteral("テープの点検: %1").arg(finding);
        else if (k > results.position_boundaries)
            tip = QStringLiteral("グラフの枠の外: 直線にも位置の当てはめにも使っていません。");
        else if (!on_graph)
            tip = QStringLiteral("グラフの枠の外: 直線には使っていません。");
        for (int column = 0; column < texts.size(); ++column) {
            auto *item = new QTableWidgetItem(texts[column]);
            item->setTextAlignment(
                column + 1 < texts.size() ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter);
            if (!finding.isEmpty())
                item->setBackground(kFlaggedGround);
            if (!on_graph)
                item->setForeground(kOffGraphText);
            item->setToolTip(tip);
            table_->setItem(k - 1, column, item);
        }
    }
    table_->resizeColumnsToContents();
}

void ResultsView::show_fits()
{
    const std::optional<analysis::StripAnalysis> &strip = document_.strip_analysis;
    if (!strip) {
        line_label_->clear();
        position_label_->clear();
        findings_label_->setText(messages::results_wait_for_graph());
        return;
    }
    const GraphResults results = document_.results();
    if (results.line)
        line_label_->setText(QStringLiteral("初速度 %1　加速度 %2　（グラフの点 %3 個）")
                                 .arg(results.initial_velocity_text, results.acceleration_text)
                                 .arg(results.line_points));
    else
        line_label_->setText(messages::fit_needs_two_points());
    position_label_->setText(position_fit_text(results));
    QString findings = strip_findings_text(strip->check);
    if (board_clock_uncorrected(document_.origin.source))
        findings += QLatin1Char('\n') + messages::board_clock_uncorrected();
    for (const QString &finding : edge_stamp_findings(document_.state.stamps, strip->pulses.size()))
        findings += QLatin1Char('\n') + finding;
    if (const std::optional<QString> priority = run_priority_text(document_.origin.source))
        findings += QLatin1Char('\n') + *priority;
    findings_label_->setText(findings);
}
