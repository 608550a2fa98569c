// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "graph_inspector.h"

#include "lesson/run_record.h"
#include "measurement_document.h"
#include "messages.h"
#include "tape_page.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

QString ask_picture_path(QWidget *parent)
{
    QFileDialog dialog(parent, QStringLiteral("画像を保存"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters({QStringLiteral("PNG 画像 (*.png)"), QStringLiteral("PDF (*.pdf)")});
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("png"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

}  // namespace

GraphInspector::GraphInspector(MeasurementDocument &document, std::function<std::int16_t()> holes_setting,
    std::function<bool()> measuring, QWidget *parent)
    : QWidget(parent, Qt::Window),
      document_(document),
      holes_setting_(std::move(holes_setting)),
      measuring_(std::move(measuring)),
      ask_picture_(ask_picture_path)
{
    setObjectName(QStringLiteral("graph_inspector"));
    setWindowTitle(QStringLiteral("グラフを調べる"));

    plot_ = new InspectorPlot(this);
    plot_->setFocusPolicy(Qt::StrongFocus);
    plot_->setSelectionRectMode(QCP::srmCustom);
    plot_->installEventFilter(this);
    connect(plot_->selectionRect(), &QCPSelectionRect::changed, this,
        [this](const QRect &rect, QMouseEvent *) { drag_changed(rect, false); });
    connect(plot_->selectionRect(), &QCPSelectionRect::accepted, this,
        [this](const QRect &rect, QMouseEvent *) { drag_changed(rect, true); });
    connect(plot_, &QCustomPlot::mousePress, this, [this](QMouseEvent *event) {
        // Ctrl+drag pans; a plain drag chooses a range; with T held a click on x–t draws the tangent.
        plot_->setSelectionRectMode(event->modifiers() & Qt::ControlModifier ? QCP::srmNone : QCP::srmCustom);
        if (t_held_ && plot_->plot_at(event->pos()) == InspectorPlot::Plot::Position) {
            plot_->setSelectionRectMode(QCP::srmNone);
            tangent_time_ = plot_->time_at(event->pos().x());
            tangent_box_->setText(seconds_text(*tangent_time_));
            show_inspection();
        }
    });
    connect(plot_, &QCustomPlot::mouseMove, this, [this](QMouseEvent *event) {
        if (event->buttons() != Qt::NoButton)
            return;
        if (const std::optional<InspectorPlot::Plot> plot = plot_->plot_at(event->pos()))
            examine(*plot, nearest(*plot, plot_->time_at(event->pos().x())));
    });

    auto field = [this](const QString &name) {
        auto *box = new QLineEdit(this);
        box->setObjectName(name);
        box->setMaximumWidth(90);
        box->installEventFilter(this);
        return box;
    };
    start_ = field(QStringLiteral("range_start"));
    end_ = field(QStringLiteral("range_end"));
    tangent_box_ = field(QStringLiteral("tangent_time"));
    connect(start_, &QLineEdit::returnPressed, this, &GraphInspector::apply_typed_range);
    connect(end_, &QLineEdit::returnPressed, this, &GraphInspector::apply_typed_range);
    connect(tangent_box_, &QLineEdit::returnPressed, this, &GraphInspector::apply_typed_tangent);

    auto *fields = new QHBoxLayout;
    fields->addWidget(new QLabel(QStringLiteral("開始(s)"), this));
    fields->addWidget(start_);
    fields->addWidget(new QLabel(QStringLiteral("終了(s)"), this));
    fields->addWidget(end_);
    fields->addSpacing(16);
    fields->addWidget(new QLabel(QStringLiteral("接線の時刻(s)"), this));
    fields->addWidget(tangent_box_);
    fields->addStretch(1);

    auto label = [this](const QString &name) {
        auto *text = new QLabel(this);
        text->setObjectName(name);
        text->setWordWrap(true);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return text;
    };
    examined_ = label(QStringLiteral("examined"));
    results_ = label(QStringLiteral("results"));
    message_ = label(QStringLiteral("message"));
    message_->setStyleSheet(QStringLiteral("color: #a00000"));

    // Every action has its key, shown on its button, and works in its own tab.
    auto *graph_page = new QWidget(this);
    auto *buttons = new QHBoxLayout;
    auto add_action = [this, buttons, graph_page](const QString &text, const QKeySequence &key, auto command) {
        auto *action = new QAction(text, this);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, command);
        graph_page->addAction(action);
        auto *button
            = new QPushButton(QStringLiteral("%1 (%2)").arg(text, key.toString(QKeySequence::NativeText)), this);
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        buttons->addWidget(button);
    };
    add_action(QStringLiteral("コピー"), QKeySequence::Copy, &GraphInspector::copy);
    add_action(QStringLiteral("印刷…"), QKeySequence::Print, &GraphInspector::print);
    add_action(QStringLiteral("画像を保存…"), QKeySequence(Qt::CTRL | Qt::Key_S), &GraphInspector::save_picture);
    add_action(QStringLiteral("元の表示"), QKeySequence(Qt::CTRL | Qt::Key_0), [this] {
        plot_->restore_view();
        plot_->replot();
    });
    add_action(QStringLiteral("範囲を外す"), QKeySequence(Qt::CTRL | Qt::Key_Delete),
        [this] { document_.set_range(std::nullopt); });
    buttons->addStretch(1);

    auto *layout = new QVBoxLayout(graph_page);
    layout->addWidget(plot_, 1);
    layout->addWidget(examined_);
    layout->addLayout(fields);
    layout->addWidget(message_);
    layout->addWidget(results_);
    layout->addLayout(buttons);
    tape_ = new TapePage(this);
    tabs_ = new QTabWidget(this);
    tabs_->addTab(graph_page, QStringLiteral("グラフ"));
    tabs_->addTab(tape_, QStringLiteral("テープ"));
    tabs_->setFocusPolicy(Qt::NoFocus);
    connect(tabs_, &QTabWidget::currentChanged, this, [this] {
        if (tape_stale_)
            update_tape();
    });
    (new QVBoxLayout(this))->addWidget(tabs_);
    setTabOrder(start_, end_);
    setTabOrder(end_, tangent_box_);
    setTabOrder(tangent_box_, plot_);
    resize(720, 720);

    // A run still recording changes with every reading: the window waits for its end.
    connect(&document_, &MeasurementDocument::measurement_started, this, &GraphInspector::refresh);
    connect(&document_, &MeasurementDocument::graph_changed, this, [this] {
        if (isVisible())
            refresh();
    });
    connect(&document_, &MeasurementDocument::range_changed, this, [this] {
        if (isVisible())
            show_inspection();
        update_tape();
    });
    refresh();
}

std::optional<common::TimeRange> GraphInspector::span() const
{
    return run_.state ? analysis::data_span(*run_.state) : std::nullopt;
}

void GraphInspector::refresh()
{
    const common::MeasurementState &state = document_.state;
    const bool has_run = !measuring_() && state.measured && state.last_sample > 0 && state.sample_rate > 0;
    const std::int16_t holes = state.graphed ? state.holes_per_section : holes_setting_();
    if (!has_run) {
        run_ = {};
    } else if (!run_.state || run_.state->holes_per_section != holes || !common::same_readings(*run_.state, state)
        || run_.state->sample_rate != state.sample_rate) {
        run_ = analysis::analyse_run(state, holes);
        examined_index_.reset();
        anchor_.reset();
        plot_->show_points(run_.state.get());
        plot_->restore_view();
    }
    if (!run_.state)
        plot_->show_points(nullptr);
    show_inspection();
    update_tape();
}

void GraphInspector::update_tape()
{
    tape_stale_ = tabs_->currentWidget() != tape_;
    if (tape_stale_)
        return;
    QStringList settings{document_.origin.measured_at.toString(QStringLiteral("yyyy-MM-dd HH:mm"))};
    if (run_.state)
        settings << QStringLiteral("計測周期 %1 ms　1区間の穴数 %2")
                        .arg(measured_period_ms(document_.state))
                        .arg(run_.state->holes_per_section);
    tape_->show_run(
        run_.state ? &run_ : nullptr, document_.range, document_.late_readings, settings.join(QStringLiteral("　")));
}

void GraphInspector::show_inspection()
{
    message_->clear();
    inspected_.reset();
    if (!run_.state) {
        results_->setText(messages::measure_first());
    } else if (run_.state->edge_count < 1) {
        results_->setText(messages::no_hole_edges());
    } else {
        const std::optional<common::TimeRange> range = dragged_ ? dragged_ : document_.range;
        inspected_ = inspect_range(run_, range, tangent_time_, document_.late_readings);
        results_->setText(inspected_ ? inspection_lines(*inspected_).join(QLatin1Char('\n')) : QString());
        if (inspected_ && !dragged_ && !start_->hasFocus() && !end_->hasFocus()) {
            start_->setText(seconds_text(inspected_->fits.range.start_s));
            end_->setText(seconds_text(inspected_->fits.range.end_s));
        }
    }
    plot_->show_fits(inspected_);
    plot_->mark(examined_plot_, examined_index_);
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void GraphInspector::choose_range(const common::TimeRange &range)
{
    dragged_.reset();
    document_.set_range(range);
    show_inspection();
}

void GraphInspector::apply_typed_range()
{
    const std::optional<common::TimeRange> whole = span();
    if (!whole)
        return;
    common::TimeRange range;
    const RangeRefusal why = check_typed_range(start_->text(), end_->text(), *whole, &range);
    if (why != RangeRefusal::None) {
        message_->setText(range_refusal_text(why));
        return;
    }
    choose_range(range);
    start_->setText(seconds_text(range.start_s));
    end_->setText(seconds_text(range.end_s));
}

void GraphInspector::apply_typed_tangent()
{
    if (tangent_box_->text().trimmed().isEmpty()) {
        tangent_time_.reset();
        show_inspection();
        return;
    }
    const std::optional<double> time = parse_seconds(tangent_box_->text());
    if (!time) {
        message_->setText(range_refusal_text(RangeRefusal::NotANumber));
        return;
    }
    tangent_time_ = time;
    show_inspection();
}

void GraphInspector::drag_changed(const QRect &rect, bool finished)
{
    const std::optional<common::TimeRange> whole = span();
    if (!whole)
        return;
    // A drag beyond the data is taken up to its ends.
    const double from = std::max(plot_->time_at(std::min(rect.left(), rect.right())), whole->start_s);
    const double to = std::min(plot_->time_at(std::max(rect.left(), rect.right())), whole->end_s);
    if (!(from < to)) {
        dragged_.reset();
        if (!finished)
            show_inspection();
        return;
    }
    if (finished) {
        choose_range({from, to});
        return;
    }
    dragged_ = common::TimeRange{from, to};
    start_->setText(seconds_text(from));
    end_->setText(seconds_text(to));
    show_inspection();
}

std::int32_t GraphInspector::points(InspectorPlot::Plot plot) const
{
    if (!run_.state || run_.state->edge_count < 1)
        return 0;
    return plot == InspectorPlot::Plot::Velocity ? run_.state->edge_count : run_.state->edge_count + 1;
}

double GraphInspector::point_time(InspectorPlot::Plot plot, std::int32_t index) const
{
    if (plot == InspectorPlot::Plot::Velocity)
        return run_.state->sect_time[static_cast<std::size_t>(index)];
    return analysis::boundary_time(*run_.state, index);
}

std::int32_t GraphInspector::nearest(InspectorPlot::Plot plot, double time) const
{
    const std::int32_t first = plot == InspectorPlot::Plot::Velocity ? 1 : 0;
    const std::int32_t last = first + points(plot) - 1;
    std::int32_t best = first;
    for (std::int32_t i = first; i <= last; ++i) {
        if (std::fabs(point_time(plot, i) - time) < std::fabs(point_time(plot, best) - time))
            best = i;
    }
    return best;
}

void GraphInspector::examine(InspectorPlot::Plot plot, std::int32_t index)
{
    if (points(plot) == 0)
        return;
    examined_plot_ = plot;
    examined_index_ = index;
    examined_->setText(plot == InspectorPlot::Plot::Velocity ? section_point_text(*run_.state, index)
                                                             : boundary_point_text(*run_.state, index));
    plot_->mark(plot, index);
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void GraphInspector::step(int by, bool extend)
{
    const std::int32_t count = points(examined_plot_);
    if (count == 0)
        return;
    const std::int32_t first = examined_plot_ == InspectorPlot::Plot::Velocity ? 1 : 0;
    const std::int32_t last = first + count - 1;
    const std::int32_t from = examined_index_.value_or(by > 0 ? first - 1 : last + 1);
    if (extend && !anchor_)
        anchor_ = examined_index_.value_or(from + by);
    if (!extend)
        anchor_.reset();
    examine(examined_plot_, std::clamp(from + by, first, last));
    if (extend && anchor_ && *anchor_ != *examined_index_) {
        const double a = point_time(examined_plot_, *anchor_);
        const double b = point_time(examined_plot_, *examined_index_);
        choose_range({std::min(a, b), std::max(a, b)});
    }
}

QString GraphInspector::copy_text() const { return inspected_ ? inspection_copy_text(*inspected_) : QString(); }

void GraphInspector::copy()
{
    const QString text = copy_text();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

bool GraphInspector::save_picture_to(const QString &path)
{
    const bool saved = path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)
        ? plot_->savePdf(path, plot_->width(), plot_->height())
        : plot_->savePng(path, plot_->width(), plot_->height(), 2.0);
    if (!saved)
        message_->setText(QStringLiteral("画像を保存できませんでした：%1").arg(path));
    return saved;
}

void GraphInspector::save_picture()
{
    const QString path = ask_picture_(this);
    if (!path.isEmpty())
        save_picture_to(path);
}

void GraphInspector::print_to(QPrinter &printer)
{
    QCPPainter painter(&printer);
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    // The plots over the upper part of the page at their shape on screen, the results under them.
    const double scale = page.width() / std::max(1, plot_->width());
    painter.save();
    painter.scale(scale, scale);
    plot_->toPainter(&painter, plot_->width(), plot_->height());
    painter.restore();
    const QRectF text(0, plot_->height() * scale + 12 * scale, page.width(), page.height());
    painter.drawText(text, Qt::TextWordWrap, examined_->text() + QLatin1Char('\n') + results_->text());
}

void GraphInspector::print()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        print_to(printer);
}

bool GraphInspector::eventFilter(QObject *watched, QEvent *event)
{
    // A field without a selection leaves Ctrl+C to the window's copy.
    if (event->type() == QEvent::ShortcutOverride && watched != plot_) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->matches(QKeySequence::Copy) && !static_cast<QLineEdit *>(watched)->hasSelectedText()) {
            event->ignore();
            return true;
        }
    }
    if (watched != plot_)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_T && !key->isAutoRepeat())
            t_held_ = event->type() == QEvent::KeyPress;
        if (event->type() == QEvent::KeyPress && (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right)) {
            step(key->key() == Qt::Key_Left ? -1 : 1, key->modifiers() & Qt::ShiftModifier);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void GraphInspector::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!placed_ && parentWidget()) {
        // Beside the main window, on its right.
        placed_ = true;
        const QRect main = parentWidget()->frameGeometry();
        move(main.right() + 8, main.top());
    }
    start_->setFocus();
    start_->selectAll();
}
