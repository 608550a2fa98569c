// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "picture_menu.h"

#include "form1.h"
#include "graph/surface.h"
#include "lesson_desk.h"
#include "messages.h"
#include "picture_box.h"
#include "results_view.h"
#include "saved_measurement.h"
#include "storage/file_io.h"
#include "storage/lesson_csv.h"
#include "storage/measurement_csv.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>

namespace {

// The one local file that a drag carries, or an empty text.
QString dragged_file(const QMimeData *mime)
{
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1 || !mime->urls().front().isLocalFile())
        return {};
    return mime->urls().front().toLocalFile();
}

// Qt's own dialog, the same on every desktop, so that a file name can always be typed into it.
QString ask_with_dialog(QWidget *parent, const PictureMenu::FileQuestion &question)
{
    QFileDialog dialog(parent, question.title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(question.name_filter);
    dialog.setAcceptMode(question.saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(question.saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QFileInfo suggested(question.suggested_path);
    dialog.setDirectory(suggested.absolutePath());
    if (question.saving) {
        dialog.setDefaultSuffix(suggested.suffix());
        dialog.selectFile(suggested.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

// Whether the file starts as a lesson file does; a file that cannot be read is left to the
// measurement reader to refuse.
bool is_lesson_file(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    return storage::is_lesson_csv(file.read(256));
}

QPoint centre_of(const QWidget *widget) { return widget->mapToGlobal(widget->rect().center()); }

}  // namespace

PictureMenu::PictureMenu(Form1 &form)
    : QObject(&form),
      form_(form),
      document_(form.document()),
      picture_(form.picture_widget()),
      window_(&form),
      ask_file_(ask_with_dialog)
{
    program_source_ = {QStringLiteral("port"), QString::fromStdString(form.port_name())};
    connect(&document_, &MeasurementDocument::measurement_started, this, [this] {
        QStringList source = source_ ? source_() : program_source_;
        source << acquisition::kPriorityKey << form_.measurement_priority().text();
        document_.origin = {source, QDateTime::currentDateTime()};
    });
    last_folder_ = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (last_folder_.isEmpty() || !QDir(last_folder_).exists())
        last_folder_ = QDir::homePath();

    menu_ = new QMenu(&form);
    menu_->setObjectName(QStringLiteral("picture_menu"));
    copy_image_ = add_item(QStringLiteral("画像をコピー"), QKeySequence::Copy, &PictureMenu::copy_image);
    save_image_ = add_item(
        QStringLiteral("画像を保存…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), &PictureMenu::save_image);
    save_data_ = add_item(QStringLiteral("データを保存…"), QKeySequence(Qt::CTRL | Qt::Key_S), &PictureMenu::save_data);
    menu_->addSeparator();
    open_data_
        = add_item(QStringLiteral("計測データを開く…"), QKeySequence(Qt::CTRL | Qt::Key_O), &PictureMenu::open_data);
    menu_->addSeparator();
    print_ = add_item(QStringLiteral("印刷…"), QKeySequence(Qt::CTRL | Qt::Key_P), &PictureMenu::print);
    menu_->addSeparator();
    results_ = add_item(QStringLiteral("結果の詳細…"), QKeySequence(Qt::CTRL | Qt::Key_I), &PictureMenu::show_results);
    inspector_
        = add_item(QStringLiteral("グラフを調べる…"), QKeySequence(Qt::CTRL | Qt::Key_G), &PictureMenu::show_inspector);
    lesson_ = add_item(QStringLiteral("授業…"), QKeySequence(Qt::CTRL | Qt::Key_L), &PictureMenu::show_lesson);
    // A closed view is brought up to date when it opens again.
    connect(&document_, &MeasurementDocument::graph_changed, this, [this] {
        if (results_view_ && results_view_->isVisible())
            results_view_->refresh();
    });

    // The menu shows which items have something to act on. Outside the menu the shortcuts stay
    // live, and each command looks again before it acts.
    connect(menu_, &QMenu::aboutToShow, this, &PictureMenu::update_actions);
    connect(menu_, &QMenu::aboutToHide, this, [this] {
        for (QAction *action : menu_->actions())
            action->setEnabled(true);
    });

    picture_->installEventFilter(this);
    form.setAcceptDrops(true);
    form.installEventFilter(this);
    // The text boxes take dropped text; a dropped file is opened there as anywhere else.
    for (QLineEdit *text_box : form.setting_boxes()) {
        text_box->installEventFilter(this);
        text_boxes_.push_back(text_box);
    }
}

PictureMenu::~PictureMenu() = default;

QAction *PictureMenu::add_item(const QString &text, const QKeySequence &shortcut, void (PictureMenu::*command)())
{
    auto *action = new QAction(text, &form_);
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    // The key is shown in the menu, as every program shows it.
    action->setShortcutVisibleInContextMenu(true);
    connect(action, &QAction::triggered, this, [this, command] { (this->*command)(); });
    // Added to the window, the shortcut works wherever the focus is in it; a text box with the
    // focus keeps its own editing keys, which it claims before any shortcut.
    form_.addAction(action);
    menu_->addAction(action);
    return action;
}

void PictureMenu::set_simulated_source(const converter::CartMotion &cart)
{
    program_source_ = {QStringLiteral("simulated"), QStringLiteral("初速度(cm/s)"), QString::number(cart.v0_cm_s),
        QStringLiteral("加速度(cm/s²)"), QString::number(cart.accel_cm_s2), QStringLiteral("発車までの時間(s)"),
        QString::number(cart.release_delay_s), QStringLiteral("穴の幅(mm)"), QString::number(cart.hole_width_cm * 10)};
    if (cart.end_stop_cm)
        program_source_ << QStringLiteral("車止めの位置(cm)") << QString::number(*cart.end_stop_cm);
    if (cart.flicker_share > 0)
        program_source_ << QStringLiteral("縁で読み値が揺れる割合") << QString::number(cart.flicker_share);
    if (cart.torn_hole)
        program_source_ << QStringLiteral("欠けた穴(0から)") << QString::number(*cart.torn_hole);
    if (cart.hole_jitter_cm > 0)
        program_source_ << QStringLiteral("穴の位置のずれ(mm)") << QString::number(cart.hole_jitter_cm * 10);
    if (cart.turn_after_s)
        program_source_ << QStringLiteral("折り返すまでの時間(s)") << QString::number(*cart.turn_after_s);
}

// --- what there is to act on -----------------------------------------------------------------

bool PictureMenu::picture_has_content()
{
    const QImage &image = form_.picture().image();
    const QRgb white = qRgb(255, 255, 255);
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] | 0xff000000u) != white)
                return true;
    }
    return false;
}

bool PictureMenu::data_to_save() const
{
    // While 計測 runs, its readings are still coming in and the last measurement is already gone.
    const bool measuring = form_.measuring();
    return document_.state.measured && document_.state.last_sample > 0 && !measuring;
}

bool PictureMenu::can_open() const { return !form_.sampling(); }

bool PictureMenu::can_ask() const
{
    // A file or print dialog waits in a loop of its own until it closes, inside the pump of the
    // sampling loop, and no reading would be taken meanwhile. Copying asks nothing and stays.
    return !form_.measuring();
}

bool PictureMenu::can_show_results() const
{
    // The results of a run still recording would change with every reading: its graph is not
    // checked, and the view waits for the run to end and グラフ.
    return document_.strip_analysis && !form_.measuring();
}

void PictureMenu::update_actions()
{
    const bool has_picture = picture_has_content();
    copy_image_->setEnabled(has_picture);
    save_image_->setEnabled(has_picture && can_ask());
    print_->setEnabled(has_picture && can_ask());
    save_data_->setEnabled(data_to_save());
    open_data_->setEnabled(can_open());
    results_->setEnabled(can_show_results());
    inspector_->setEnabled(can_ask() && document_.state.measured);
}

void PictureMenu::show_menu(const QPoint &global_position)
{
    // A keyboard that asks twice (the key and the system's menu event) opens it once.
    if (menu_->isVisible())
        return;
    menu_->popup(global_position);
}

bool PictureMenu::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == picture_) {
        if (event->type() == QEvent::ContextMenu) {
            auto *context = static_cast<QContextMenuEvent *>(event);
            show_menu(context->reason() == QContextMenuEvent::Mouse ? context->globalPos()
                                                                    : centre_of(form_.picture_widget()));
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            auto *key = static_cast<QKeyEvent *>(event);
            const bool menu_key = key->key() == Qt::Key_Menu && key->modifiers() == Qt::NoModifier;
            const bool shift_f10 = key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier;
            if (menu_key || shift_f10) {
                show_menu(centre_of(form_.picture_widget()));
                return true;
            }
        }
        return false;
    }
    const bool text_box = std::find(text_boxes_.begin(), text_boxes_.end(), watched) != text_boxes_.end();
    if (watched == window_ || text_box) {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto *drag = static_cast<QDropEvent *>(event);
            const bool file = !dragged_file(drag->mimeData()).isEmpty();
            if (text_box && !file)
                return false;
            if (can_open() && file)
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        if (event->type() == QEvent::Drop) {
            auto *drop = static_cast<QDropEvent *>(event);
            const QString path = dragged_file(drop->mimeData());
            if (text_box && path.isEmpty())
                return false;
            if (path.isEmpty() || !can_open())
                return true;
            drop->acceptProposedAction();
            // The source of the drag waits for the drop to end; a message box must not hold it.
            QTimer::singleShot(0, this, [this, path] { open_file(path); });
            return true;
        }
    }
    return false;
}

// --- the commands --------------------------------------------------------------------------

QString PictureMenu::suggested_path(const QString &suffix) const
{
    const QString name = QStringLiteral("運動の解析_%1.%2")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HHmm")), suffix);
    return QDir(last_folder_).filePath(name);
}

QString PictureMenu::ask(const FileQuestion &question)
{
    const QString path = ask_file_(&form_, question);
    if (!path.isEmpty())
        last_folder_ = QFileInfo(path).absolutePath();
    return path;
}

void PictureMenu::copy_image()
{
    if (!picture_has_content())
        return;
    // The image carries the display's pixel ratio, as the picture box shows it.
    QGuiApplication::clipboard()->setImage(form_.picture().image());
}

void PictureMenu::save_image()
{
    if (!can_ask() || !picture_has_content())
        return;
    const QString path = ask({QStringLiteral("画像を保存"), suggested_path(QStringLiteral("png")),
        QStringLiteral("PNG 画像 (*.png)"), true});
    if (!path.isEmpty())
        save_image_to(path);
}

bool PictureMenu::save_image_to(const QString &path)
{
    const QImage image = form_.picture().image().copy();
    QString writer_reason;
    std::optional<storage::SaveFailure> failure = storage::save_whole_file(path, [&](QIODevice &device) {
        QImageWriter writer(&device, "png");
        if (writer.write(image))
            return true;
        writer_reason = writer.errorString();
        return false;
    });
    if (failure) {
        if (failure->system_reason.isEmpty())
            failure->system_reason = writer_reason;
        form_.show_message(messages::file_cannot_save(path, *failure));
        return false;
    }
    return true;
}

void PictureMenu::save_data()
{
    if (!data_to_save())
        return;
    const QString path = ask({QStringLiteral("データを保存"), suggested_path(QStringLiteral("csv")),
        QStringLiteral("CSV ファイル (*.csv)"), true});
    if (!path.isEmpty())
        save_data_to(path);
}

bool PictureMenu::save_data_to(const QString &path)
{
    // A measurement that this window did not see start is the program's own.
    const MeasurementOrigin &kept = document_.origin;
    const MeasurementOrigin origin = kept.source.isEmpty() ? MeasurementOrigin{program_source_, {}} : kept;
    storage::MeasurementRecord record
        = record_of_window(document_.state, document_.strip_analysis, origin, QDateTime::currentDateTime());
    record.range = document_.range;
    record.late_readings = document_.late_readings;
    const QByteArray bytes = storage::write_measurement_csv(record);
    if (const std::optional<storage::SaveFailure> failure = storage::save_whole_file(path, bytes)) {
        form_.show_message(messages::file_cannot_save(path, *failure));
        return false;
    }
    return true;
}

void PictureMenu::open_data()
{
    if (!can_open())
        return;
    const QString path = ask({QStringLiteral("計測データを開く"), QDir(last_folder_).filePath(QString()),
        QStringLiteral("CSV ファイル (*.csv);;すべてのファイル (*)"), false});
    if (!path.isEmpty())
        open_file(path);
}

bool PictureMenu::open_file(const QString &path)
{
    if (!can_open())
        return false;
    // A lesson file becomes the lesson, and its last run is shown.
    if (lesson_desk_ && is_lesson_file(path)) {
        if (!lesson_desk_->open_lesson(path))
            return false;
        last_folder_ = QFileInfo(path).absolutePath();
        return true;
    }
    const storage::ReadResult read = storage::read_measurement_file(path);
    if (const std::optional<storage::ReadFailure> failure = put_into_window(form_, read)) {
        form_.show_message(messages::file_cannot_open(path, *failure));
        return false;
    }
    document_.origin = {read.record->source, read.record->measured_at};
    document_.set_range(read.record->range);
    last_folder_ = QFileInfo(path).absolutePath();
    emit document_.recording_opened();
    return true;
}

void PictureMenu::print()
{
    if (!can_ask() || !picture_has_content())
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("運動の解析"));
    QPrintDialog dialog(&printer, &form_);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!print_to(printer))
        form_.show_message(messages::cannot_print());
}

bool PictureMenu::print_to(QPrinter &printer)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const QRect area(0, 0, page.width(), page.height());
    QFont font = form_.font();
    font.setPointSizeF(10);
    painter.setFont(font);
    const QString caption = print_caption(document_.state, document_.strip_analysis, QDateTime::currentDateTime());
    const QRect caption_box = painter.boundingRect(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, caption);
    painter.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, caption);

    // The picture as large as the page allows below the caption, its proportions kept.
    const QImage image = form_.picture().image();
    const QRect below = area.adjusted(0, caption_box.height() + caption_box.height() / 2, 0, 0);
    const QSizeF logical = image.deviceIndependentSize();
    QSizeF size = logical.scaled(below.size(), Qt::KeepAspectRatio);
    painter.drawImage(QRectF(QPointF(below.left(), below.top()), size), image);
    return painter.end();
}
