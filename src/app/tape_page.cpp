// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "tape_page.h"

#include "graph/tape_pages.h"
#include "inspector_texts.h"
#include "messages.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <algorithm>

namespace {

using Kind = analysis::TapePiece::Kind;

QString cm_text(double cm) { return QString::number(cm, 'f', 3); }

// The numbers of `pieces` that `which` picks, as "3, 4, 7".
QString numbers_of(const analysis::Tape &tape, const std::function<bool(const analysis::TapePiece &)> &which)
{
    QStringList numbers;
    for (const analysis::TapePiece &piece : tape.pieces) {
        if (which(piece))
            numbers << QString::number(piece.number);
    }
    return numbers.join(QStringLiteral(", "));
}

QString ask_pdf_path(QWidget *parent)
{
    QFileDialog dialog(parent, QStringLiteral("PDFに保存"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(QStringLiteral("PDF (*.pdf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

}  // namespace

QString tape_copy_text(const analysis::Tape &tape)
{
    QStringList rows{QStringLiteral("片\t開始(s)\t終了(s)\t長さ(cm)\t平均の速さ(cm/s)")};
    for (const analysis::TapePiece &piece : tape.pieces) {
        QStringList cells{QString::number(piece.number), QString::number(piece.start_s, 'f', 3),
            QString::number(piece.end_s, 'f', 3)};
        if (piece.length_cm)
            cells << cm_text(*piece.length_cm)
                  << QString::number(*piece.length_cm / (piece.end_s - piece.start_s), 'f', 2);
        else
            cells << QString() << QString();
        rows << cells.join(QLatin1Char('\t'));
    }
    return rows.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QStringList tape_lines(const analysis::Tape &tape, const std::optional<common::TimeRange> &range)
{
    QStringList lines;
    switch (tape.refusal) {
    case analysis::TapeRefusal::NoSections:
        return {messages::no_hole_edges()};
    case analysis::TapeRefusal::ShorterThanPiece:
        return {
            QStringLiteral("記録（%1 s）が片 1 つの時間（%2 s）より短いので、片に切れません。短い片を選んでください。")
                .arg(seconds_text(tape.run_s), seconds_text(tape.piece_s))};
    case analysis::TapeRefusal::None:
        break;
    }
    if (tape.line) {
        // No ± here: neighbouring pieces share the fits around their cuts, so the tops scatter
        // less than the run's error; the tab グラフ gives that.
        lines << QStringLiteral("片の上の中点を結ぶ直線の傾き（加速度）: %1 cm/s²　（%2 個の片）")
                     .arg(QString::number(tape.line->slope, 'f', 2))
                     .arg(tape.line->points);
    } else {
        lines << QStringLiteral("直線を引くには、範囲の中に長さのわかる片が 2 つ以上要ります。");
    }
    if (range)
        lines << QStringLiteral("範囲（%1〜%2 s）の外に中点がある片は灰色で、直線に入れません。")
                     .arg(seconds_text(range->start_s), seconds_text(range->end_s));
    if (!tape.pieces.empty() && tape.pieces.back().kind == Kind::Shorter)
        lines << QStringLiteral("最後の片 %1 は %2 s しかないので、離して置き、直線に入れません。")
                     .arg(tape.pieces.back().number)
                     .arg(seconds_text(tape.pieces.back().end_s - tape.pieces.back().start_s));
    const QString estimated = numbers_of(tape, [](const auto &p) { return p.estimated && p.length_cm; });
    if (!estimated.isEmpty())
        lines << QStringLiteral("片 %1 には穴がなく、長さは前後の穴から求めた推定です（斜線）。").arg(estimated);
    const QString torn = numbers_of(tape, [](const auto &p) { return p.across_torn && !p.across_missed; });
    if (!torn.isEmpty())
        lines << QStringLiteral("片 %1 は、テープの穴が欠けている所をまたいでいます。").arg(torn);
    const QString missed = numbers_of(tape, [](const auto &p) { return p.across_missed; });
    if (!missed.isEmpty())
        lines << QStringLiteral("片 %1 では穴が読み取りの間を通り過ぎたため、その前後の片は長さがわかりません。")
                     .arg(missed);
    if (tape.slack_from_s)
        lines << QStringLiteral(
            "%1 s で台車が止まったか戻ったため、そのあとのテープはたるんで長さがありません（点線）。")
                     .arg(seconds_text(*tape.slack_from_s));
    return lines;
}

TapePage::TapePage(QWidget *parent) : QWidget(parent), ask_pdf_(ask_pdf_path)
{
    setObjectName(QStringLiteral("tape_page"));
    piece_box_ = new QComboBox(this);
    piece_box_->setObjectName(QStringLiteral("piece_time"));
    for (const double seconds : analysis::kPieceTimes)
        piece_box_->addItem(QStringLiteral("%1 s").arg(seconds), seconds);
    piece_box_->setCurrentIndex(piece_box_->findData(analysis::kDefaultPieceTime));
    connect(piece_box_, &QComboBox::currentIndexChanged, this, [this] {
        cut();
        draw();
    });
    auto *choice = new QHBoxLayout;
    choice->addWidget(new QLabel(QStringLiteral("片の時間"), this));
    choice->addWidget(piece_box_);
    choice->addWidget(
        new QLabel(QStringLiteral("記録タイマーなら 50 Hz の 5 打点、60 Hz の 6 打点が 0.1 s です。"), this));
    choice->addStretch(1);

    plot_ = new QCustomPlot(this);
    plot_->setObjectName(QStringLiteral("tape_plot"));
    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot_->axisRect()->setRangeZoom(Qt::Horizontal);
    plot_->axisRect()->setRangeDrag(Qt::Horizontal);
    plot_->xAxis->setLabel(QStringLiteral("時刻(s)"));
    plot_->yAxis->setLabel(QStringLiteral("長さ(cm)"));
    plot_->setMinimumHeight(360);

    lines_ = new QLabel(this);
    lines_->setObjectName(QStringLiteral("tape_lines"));
    lines_->setWordWrap(true);
    lines_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *buttons = new QHBoxLayout;
    auto add_action = [this, buttons](const QString &text, const QKeySequence &key, auto command) {
        auto *action = new QAction(text, this);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, command);
        addAction(action);
        const QString caption
            = key.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, key.toString(QKeySequence::NativeText));
        auto *button = new QPushButton(caption, this);
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        buttons->addWidget(button);
    };
    add_action(QStringLiteral("コピー"), QKeySequence::Copy, &TapePage::copy);
    add_action(QStringLiteral("印刷…"), QKeySequence::Print, &TapePage::print);
    add_action(QStringLiteral("PDFに保存…"), QKeySequence(), &TapePage::save_pdf);
    buttons->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(choice);
    layout->addWidget(plot_, 1);
    layout->addWidget(lines_);
    layout->addLayout(buttons);
    setFocusProxy(piece_box_);
}

void TapePage::show_run(const analysis::AnalysedRun *run, const std::optional<common::TimeRange> &range,
    const std::vector<common::ReadingSpan> &late_readings, const QString &caption)
{
    run_ = run && run->state ? run : nullptr;
    range_ = range;
    late_readings_ = late_readings;
    caption_ = caption;
    cut();
    draw();
}

void TapePage::cut()
{
    const double piece_s = piece_box_->currentData().toDouble();
    if (!run_) {
        tape_ = analysis::Tape{};
        tape_.piece_s = piece_s;
        tape_.refusal = analysis::TapeRefusal::NoSections;
        return;
    }
    tape_ = analysis::cut_tape(*run_->state, run_->strip, piece_s, range_, late_readings_);
}

void TapePage::draw()
{
    plot_->clearPlottables();
    plot_->clearItems();
    const QString text = run_ ? tape_lines(tape_, range_).join(QLatin1Char('\n')) : messages::measure_first();
    lines_->setText(text);
    if (tape_.pieces.empty()) {
        plot_->replot();
        return;
    }
    const double width = tape_.piece_s * 0.8;
    // The pieces on the line in the paper's colour, those off the range grey, the shorter one and
    // those without a hole hatched.
    auto bars = [this, width](const QColor &colour, Qt::BrushStyle style) {
        auto *bars = new QCPBars(plot_->xAxis, plot_->yAxis);
        bars->setWidth(width);
        bars->setPen(QPen(QColor(120, 100, 60)));
        bars->setBrush(QBrush(colour, style));
        return bars;
    };
    QCPBars *on_line = bars(QColor(238, 222, 176), Qt::SolidPattern);
    QCPBars *greyed = bars(QColor(210, 210, 210), Qt::SolidPattern);
    QCPBars *hatched = bars(QColor(150, 130, 90), Qt::BDiagPattern);
    QCPBars *shorter = bars(QColor(150, 130, 90), Qt::BDiagPattern);
    const analysis::TapePiece &last = tape_.pieces.back();
    shorter->setWidth((last.end_s - last.start_s) * 0.8);
    // The shorter piece stands apart from the others.
    const double apart = tape_.piece_s / 4;
    auto *holes = new QCPGraph(plot_->xAxis, plot_->yAxis);
    holes->setLineStyle(QCPGraph::lsNone);
    holes->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, QColor(70, 70, 70), 5));
    double tallest = 0;
    for (const analysis::TapePiece &piece : tape_.pieces)
        tallest = std::max(tallest, piece.length_cm.value_or(0));
    const bool upright_labels = tape_.pieces.size() > 12;
    for (const analysis::TapePiece &piece : tape_.pieces) {
        const double middle = piece.middle_s() + (piece.kind == Kind::Shorter ? apart : 0);
        if (!piece.length_cm) {
            // Slack tape, or a piece whose length the strip does not tell: an empty dashed outline.
            auto *outline = new QCPItemRect(plot_);
            outline->setPen(QPen(Qt::gray, 1, Qt::DashLine));
            outline->topLeft->setCoords(middle - width / 2, std::max(tallest, 1.0) * 0.15);
            outline->bottomRight->setCoords(middle + width / 2, 0);
            continue;
        }
        QCPBars *into = piece.kind == Kind::Shorter ? shorter
            : piece.estimated                       ? hatched
            : piece.in_range                        ? on_line
                                                    : greyed;
        into->addData(middle, *piece.length_cm);
        for (const double hole : piece.holes_cm)
            holes->addData(middle, hole);
        auto *label = new QCPItemText(plot_);
        label->position->setCoords(middle, *piece.length_cm);
        label->setPositionAlignment(
            upright_labels ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignHCenter | Qt::AlignBottom);
        label->setRotation(upright_labels ? -90 : 0);
        label->setText(QString::number(*piece.length_cm, 'f', 2));
        label->setFont(QFont(font().family(), 8));
    }
    if (tape_.line) {
        // The line through the tops: length = piece time × (intercept + slope t).
        std::vector<double> middles;
        for (const analysis::TapePiece &piece : tape_.pieces) {
            if (piece.on_line())
                middles.push_back(piece.middle_s());
        }
        auto *line = new QCPGraph(plot_->xAxis, plot_->yAxis);
        line->setPen(QPen(QColor(0, 0, 255), 2));
        for (const double t : {middles.front(), middles.back()})
            line->addData(t, tape_.piece_s * (tape_.line->intercept + tape_.line->slope * t));
    }
    plot_->xAxis->setRange(0, last.end_s + apart + tape_.piece_s * 0.1);
    plot_->yAxis->setRange(0, std::max(tallest, 1.0) * 1.15);
    plot_->replot();
}

void TapePage::copy()
{
    if (!tape_.pieces.empty())
        QGuiApplication::clipboard()->setText(tape_copy_text(tape_));
}

bool TapePage::paint_pages(QPagedPaintDevice &device) const
{
    std::vector<double> lengths;
    std::vector<graph::PrintedPiece> printed;
    for (const analysis::TapePiece &piece : tape_.pieces) {
        lengths.push_back(piece.length_cm.value_or(-1));
        QString label = QStringLiteral("片 %1\n%2 cm").arg(piece.number).arg(piece.length_cm.value_or(0), 0, 'f', 2);
        printed.push_back({piece.length_cm.value_or(0), piece.holes_cm, label, !piece.on_line()});
    }
    const graph::TapeLayout layout = graph::lay_out_tape(lengths);
    if (layout.pages == 0)
        return false;
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    QPainter painter(&device);
    if (!painter.isActive())
        return false;
    const QString caption
        = QStringLiteral("テープ（%1 s ごと）　%2　1 cm が紙の上でも 1 cm です: 「実際のサイズ」で印刷してください。")
              .arg(seconds_text(tape_.piece_s), caption_);
    for (std::int32_t page = 0; page < layout.pages; ++page) {
        if (page > 0)
            device.newPage();
        graph::paint_tape_page(painter, layout, printed, page, caption);
    }
    return true;
}

bool TapePage::save_pdf_to(const QString &path)
{
    QPdfWriter writer(path);
    writer.setCreator(QStringLiteral("undou-kaiseki"));
    const bool painted = paint_pages(writer);
    if (!painted)
        lines_->setText(lines_->text() + QStringLiteral("\nPDFに保存できませんでした：%1").arg(path));
    return painted;
}

void TapePage::save_pdf()
{
    const QString path = ask_pdf_(this);
    if (!path.isEmpty())
        save_pdf_to(path);
}

void TapePage::print()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setFullPage(true);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        paint_pages(printer);
}
