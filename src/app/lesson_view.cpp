// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lesson_view.h"

#include "form1.h"
#include "graph_results.h"
#include "lesson/lesson.h"
#include "lesson/lesson_store.h"
#include "lesson_commands.h"
#include "lesson_desk.h"
#include "lesson_plots.h"
#include "lesson_table_model.h"
#include "lesson_texts.h"
#include "messages.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTableView>
#include <QUndoStack>
#include <QVBoxLayout>

namespace {

const QSize kGraphSize(420, 300);
// The law goes onto paper as an image this sharp at most.
constexpr double kPrintDotsPerInch = 300;

QString ask_with_dialog(QWidget *parent, const QString &title, bool saving)
{
    QFileDialog dialog(parent, title);
    dialog.setNameFilter(QStringLiteral("CSV ファイル (*.csv)"));
    dialog.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (saving)
        dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

// The unit of the slope: cm/s² per unit of x, or times the unit under 1/x.
QString slope_unit(const Lesson &lesson)
{
    const QString unit = lesson.unit().isEmpty() ? QStringLiteral("（条件の単位）") : lesson.unit();
    return lesson.inverse() ? QStringLiteral("cm/s²・%1").arg(unit) : QStringLiteral("cm/s² / %1").arg(unit);
}

}  // namespace

LessonView::LessonView(LessonDesk &desk, QWidget *parent) : QDialog(parent), desk_(desk), ask_file_(ask_with_dialog)
{
    setObjectName(QStringLiteral("lesson_view"));
    setWindowTitle(QStringLiteral("授業"));
    setModal(false);
    Lesson &lesson = desk_.lesson();

    condition_ = new QLineEdit(this);
    condition_->setObjectName(QStringLiteral("condition_name"));
    condition_->setPlaceholderText(QStringLiteral("台車の質量"));
    unit_ = new QLineEdit(this);
    unit_->setObjectName(QStringLiteral("condition_unit"));
    unit_->setPlaceholderText(QStringLiteral("kg"));
    connect(condition_, &QLineEdit::editingFinished, this, &LessonView::settings_typed);
    connect(unit_, &QLineEdit::editingFinished, this, &LessonView::settings_typed);
    auto *condition_row = new QHBoxLayout;
    condition_row->addWidget(new QLabel(QStringLiteral("条件の名前"), this));
    condition_row->addWidget(condition_, 2);
    condition_row->addWidget(new QLabel(QStringLiteral("単位"), this));
    condition_row->addWidget(unit_, 1);
    status_label_ = new QLabel(this);
    status_label_->setObjectName(QStringLiteral("lesson_status"));

    model_ = new LessonTableModel(
        lesson, desk_.undo_stack(), [this] { return desk_.read_only(); }, this);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("lesson_table"));
    table_->setModel(model_);
    table_->verticalHeader()->hide();
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(
        QAbstractItemView::DoubleClicked | QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed);
    table_->installEventFilter(this);
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.column() == kRunColumn)
            desk_.show_run(static_cast<std::size_t>(index.row()));
    });
    // Enter after typing goes on to the run below, as in a spreadsheet.
    connect(table_->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
        [this](QWidget *, QAbstractItemDelegate::EndEditHint hint) {
            const QModelIndex current = table_->currentIndex();
            if (hint == QAbstractItemDelegate::SubmitModelCache && current.row() + 1 < model_->rowCount())
                table_->setCurrentIndex(model_->index(current.row() + 1, current.column()));
        });

    inverse_ = new QCheckBox(QStringLiteral("横軸を 1/条件の値 にする"), this);
    inverse_->setObjectName(QStringLiteral("inverse"));
    origin_ = new QCheckBox(QStringLiteral("原点を通る"), this);
    origin_->setObjectName(QStringLiteral("through_origin"));
    connect(inverse_, &QCheckBox::toggled, this, &LessonView::settings_typed);
    connect(origin_, &QCheckBox::toggled, this, &LessonView::settings_typed);
    law_plot_ = new LawPlot(this);
    law_plot_->setObjectName(QStringLiteral("law_picture"));
    law_plot_->setMinimumSize(kGraphSize);
    law_label_ = new QLabel(this);
    law_label_->setObjectName(QStringLiteral("law_text"));
    law_label_->setWordWrap(true);
    law_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    family_plot_ = new FamilyPlot(this);
    family_plot_->setObjectName(QStringLiteral("family_picture"));
    family_plot_->setMinimumSize(kGraphSize);
    auto *law_column = new QVBoxLayout;
    auto *switches = new QHBoxLayout;
    switches->addWidget(inverse_);
    switches->addWidget(origin_);
    switches->addStretch();
    law_column->addLayout(switches);
    law_column->addWidget(law_plot_);
    law_column->addWidget(law_label_);
    auto *family_column = new QVBoxLayout;
    family_column->addWidget(new QLabel(QStringLiteral("すべての回の速度"), this));
    family_column->addWidget(family_plot_);
    family_column->addStretch();
    auto *graphs = new QHBoxLayout;
    graphs->addLayout(law_column);
    graphs->addLayout(family_column);

    auto button = [this](const QString &text, const QKeySequence &keys, void (LessonView::*command)()) {
        auto *pressed = new QPushButton(text, this);
        pressed->setAutoDefault(false);
        connect(pressed, &QPushButton::clicked, this, [this, command] { (this->*command)(); });
        if (!keys.isEmpty()) {
            auto *action = new QAction(text, this);
            action->setShortcut(keys);
            action->setShortcutContext(Qt::WindowShortcut);
            connect(action, &QAction::triggered, this, [this, command] { (this->*command)(); });
            addAction(action);
        }
        return pressed;
    };
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(button(QStringLiteral("コピー"), QKeySequence::Copy, &LessonView::copy));
    buttons->addWidget(button(QStringLiteral("印刷…"), QKeySequence::Print, &LessonView::print));
    buttons->addWidget(button(QStringLiteral("授業を保存…"), QKeySequence::Save, &LessonView::save));
    buttons->addWidget(button(QStringLiteral("授業を開く…"), QKeySequence::Open, &LessonView::open));
    buttons->addWidget(
        button(QStringLiteral("授業に加える…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), &LessonView::pool));
    buttons->addWidget(button(QStringLiteral("新しい授業"), {}, &LessonView::start_new));
    buttons->addWidget(
        button(QStringLiteral("グラフを調べる…"), QKeySequence(Qt::CTRL | Qt::Key_G), &LessonView::inspect_current));
    buttons->addStretch();
    auto *close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    buttons->addWidget(close);
    // Every edit of the lesson can be undone and done again: Ctrl+Z, and Ctrl+Shift+Z or Ctrl+Y.
    QUndoStack &undo = desk_.undo_stack();
    QAction *undo_action = undo.createUndoAction(this, QStringLiteral("元に戻す"));
    undo_action->setShortcuts(QKeySequence::Undo);
    QAction *redo_action = undo.createRedoAction(this, QStringLiteral("やり直す"));
    redo_action->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    for (QAction *action : {undo_action, redo_action}) {
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(condition_row);
    layout->addWidget(status_label_);
    layout->addWidget(table_, 1);
    layout->addLayout(graphs);
    layout->addLayout(buttons);
    resize(900, 760);

    connect(&lesson, &Lesson::changed, this, [this] {
        if (isVisible())
            refresh();
    });
    connect(&lesson, &Lesson::shown_changed, this, &LessonView::follow_shown_run);
    connect(&desk_.keeper(), &LessonStore::notes_changed, this, &LessonView::refresh);
    refresh();
}

void LessonView::inspect_current()
{
    const QModelIndex current = table_->currentIndex();
    if (current.isValid())
        desk_.show_run(static_cast<std::size_t>(current.row()));
    if (open_inspector_)
        open_inspector_();
}

void LessonView::refresh()
{
    const Lesson &lesson = desk_.lesson();
    const bool read_only = desk_.read_only();
    if (!condition_->hasFocus())
        condition_->setText(lesson.condition_name());
    if (!unit_->hasFocus())
        unit_->setText(lesson.unit());
    for (QWidget *setting : std::initializer_list<QWidget *>{condition_, unit_, inverse_, origin_})
        setting->setEnabled(!read_only);
    {
        const QSignalBlocker inverse_blocker(inverse_);
        const QSignalBlocker origin_blocker(origin_);
        inverse_->setChecked(lesson.inverse());
        origin_->setChecked(lesson.through_origin());
    }
    status_label_->setText(keeper_notes_text(desk_.keeper().notes()));
    status_label_->setVisible(!status_label_->text().isEmpty());
    table_->resizeColumnsToContents();
    if (!table_->currentIndex().isValid())
        follow_shown_run();
    draw_graphs();
}

void LessonView::follow_shown_run()
{
    const Lesson &lesson = desk_.lesson();
    if (const std::optional<std::size_t> shown = lesson.shown())
        table_->setCurrentIndex(model_->index(static_cast<int>(*shown), kValueColumn));
    else if (model_->rowCount() > 0 && !table_->currentIndex().isValid())
        table_->setCurrentIndex(model_->index(model_->rowCount() - 1, kValueColumn));
}

void LessonView::settings_typed()
{
    Lesson &lesson = desk_.lesson();
    const LessonSettings typed{condition_->text(), unit_->text(), inverse_->isChecked(), origin_->isChecked()};
    if (desk_.read_only() || typed == lesson.settings())
        return;
    desk_.undo_stack().push(new SettingsCommand(lesson, lesson.settings(), typed));
}

void LessonView::draw_graphs()
{
    const Lesson &lesson = desk_.lesson();
    const LessonLaw law = lesson.law();
    LawPicture picture;
    // Each group's points in a colour and a mark of their own once the runs have groups; each
    // run's own until then.
    QStringList groups;
    for (const LessonRun &run : lesson.runs())
        if (!run.group.isEmpty() && !groups.contains(run.group))
            groups << run.group;
    for (std::size_t i = 0; i < law.points.size(); ++i) {
        const QString &group = lesson.runs()[law.runs[i]].group;
        const std::size_t mark = groups.isEmpty() ? law.runs[i] : static_cast<std::size_t>(groups.indexOf(group) + 1);
        picture.points.push_back({law.points[i].x, law.points[i].y, law.points[i].se, mark});
    }
    const QString name = lesson.condition_name().isEmpty() ? QStringLiteral("条件の値") : lesson.condition_name();
    const QString unit = lesson.unit().isEmpty() ? QString() : QStringLiteral(" [%1]").arg(lesson.unit());
    picture.x_label = lesson.inverse() ? QStringLiteral("1/%1%2").arg(
                          name, lesson.unit().isEmpty() ? QString() : QStringLiteral(" [1/%1]").arg(lesson.unit()))
                                       : name + unit;
    picture.y_label = QStringLiteral("加速度 [cm/s²]");
    QString text;
    if (const std::optional<analysis::LessonLine> &line = law.line) {
        picture.slope = line->slope;
        picture.intercept = line->intercept;
        text = QStringLiteral("傾き %1　切片 %2　r² %3　（%4 回）")
                   .arg(value_with_error(line->slope, line->slope_error, slope_unit(lesson)),
                       line->intercept_error
                           ? value_with_error(line->intercept, line->intercept_error, QStringLiteral("cm/s²"))
                           : QStringLiteral("0 cm/s²（原点を通る）"),
                       line->r_squared ? QString::number(*line->r_squared, 'f', 4) : QStringLiteral("-"))
                   .arg(line->points);
    }
    if (const QString note = law_note(law); !note.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + note;
    law_label_->setText(text);
    law_plot_->show_law(picture);

    std::vector<RunPoints> runs;
    for (std::size_t k = 0; k < lesson.runs().size(); ++k) {
        const LessonRow &row = lesson.row(k);
        RunPoints points{row.times, row.velocities, std::nullopt, 0, k};
        if (row.line) {
            points.initial_velocity = row.line->initial_velocity;
            points.acceleration = row.line->acceleration;
        }
        runs.push_back(std::move(points));
    }
    family_plot_->show_runs(runs);
}

QImage LessonView::law_image() const
{
    const QSize size = law_plot_->size().expandedTo(kGraphSize);
    return law_plot_->toPixmap(size.width(), size.height()).toImage();
}

bool LessonView::eventFilter(QObject *watched, QEvent *event)
{
    // While a cell is being edited its editor has the keys, not the table.
    if (watched == table_ && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
            remove_current();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && table_->currentIndex().column() == kRunColumn) {
            desk_.show_run(static_cast<std::size_t>(table_->currentIndex().row()));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void LessonView::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    table_->setFocus();
}

QString LessonView::copy_text() const
{
    QStringList lines;
    for (const QStringList &row : lesson_copy_rows(desk_.lesson()))
        lines << row.join(QLatin1Char('\t'));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void LessonView::copy() { QApplication::clipboard()->setText(copy_text()); }

bool LessonView::print_to(QPrinter &printer)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    QFont font = this->font();
    font.setPointSizeF(9);
    painter.setFont(font);
    const QFontMetrics metrics(painter.font());
    int y = metrics.height();
    painter.drawText(0, y,
        QStringLiteral("運動の解析　授業　%1")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
    y += metrics.height() * 2;
    // The table as columns at fixed places, a row a line.
    const std::vector<QStringList> rows = lesson_copy_rows(desk_.lesson());
    const int columns = kLessonColumns;
    const double column_width = static_cast<double>(page.width()) / columns;
    for (const QStringList &row : rows) {
        for (int column = 0; column < row.size() && column < columns; ++column)
            painter.drawText(QRectF(column * column_width, y - metrics.ascent(), column_width - 4, metrics.height()),
                Qt::AlignLeft | Qt::TextSingleLine, row[column]);
        y += metrics.height();
    }
    y += metrics.height();
    // The law as the plot draws it at its size on screen, scaled to the page's width or to what is
    // left of its height. It goes as an image drawn at the size it takes on paper: drawn straight
    // onto the printer, the plot's fonts (in points) would take the printer's resolution and then
    // the scale on top of it.
    const QSize size = law_plot_->size().expandedTo(kGraphSize);
    const double scale = std::min(
        static_cast<double>(page.width()) / size.width(), static_cast<double>(page.height() - y) / size.height());
    if (scale > 0) {
        const double sharpness = scale * std::min(1.0, kPrintDotsPerInch / printer.resolution());
        const QPixmap law = law_plot_->toPixmap(size.width(), size.height(), sharpness);
        painter.drawPixmap(QRectF(0, y, size.width() * scale, size.height() * scale), law, QRectF(law.rect()));
    }
    return painter.end();
}

void LessonView::print()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("授業"));
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted && !print_to(printer))
        desk_.form().show_message(messages::cannot_print());
}

void LessonView::save()
{
    const QString path = ask_file_(this, QStringLiteral("授業を保存"), true);
    if (!path.isEmpty())
        desk_.save_lesson(path);
}

void LessonView::open()
{
    if (desk_.form().sampling())
        return;
    const QString path = ask_file_(this, QStringLiteral("授業を開く"), false);
    if (!path.isEmpty())
        desk_.open_lesson(path);
}

void LessonView::pool()
{
    if (desk_.form().sampling())
        return;
    const QString path = ask_file_(this, QStringLiteral("授業に加える"), false);
    if (!path.isEmpty())
        desk_.pool_lesson(path);
}

void LessonView::start_new()
{
    desk_.start_new();
    refresh();
}

void LessonView::remove_current()
{
    const int row = table_->currentIndex().row();
    if (row < 0 || desk_.read_only())
        return;
    desk_.undo_stack().push(new RemoveRunCommand(desk_.lesson(), static_cast<std::size_t>(row)));
    if (model_->rowCount() > 0)
        table_->setCurrentIndex(model_->index(std::min(row, model_->rowCount() - 1), kValueColumn));
}
