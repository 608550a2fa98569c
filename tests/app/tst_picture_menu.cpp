// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The picture's context menu through the window: how it opens, which items it offers when, the
// window-wide shortcuts beside the text boxes' own keys, and the files it writes and reads.

#include "acquisition/measurement.h"
#include "converter/converter.h"
#include "converter/simulated_converter.h"
#include "fake_loop_host.h"
#include "fake_priority_system.h"
#include "file_contents.h"
#include "form1.h"
#include "graph_results.h"
#include "message_box_watcher.h"
#include "messages.h"
#include "picture_box.h"
#include "picture_menu.h"
#include "saved_measurement.h"
#include "short_record.h"
#include "special_files.h"
#include "spreadsheet_copy.h"
#include "storage/measurement_csv.h"
#include "window_test_support.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using test_support::FakeLoopHost;
using test_support::MessageBoxWatcher;

namespace {

using test_support::contents;
using test_support::put;

// A file as the program writes it, for 100 ms over 1 s (N = 10), with one line replaced.
QByteArray saved_file_with_line(int number, const QByteArray &text)
{
    storage::MeasurementRecord record = test_support::short_record({20, 230, 20, 230, 20, 230, 20, 230, 20, 230, 20});
    record.saved_at = QDateTime(QDate(2026, 12, 7), QTime(15, 30));
    QList<QByteArray> lines = storage::write_measurement_csv(record).split('\n');
    if (number > 0)
        lines[number - 1] = text + '\r';
    return lines.join('\n');
}

}  // namespace

class TestPictureMenu : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void right_button_offers_what_there_is_data();
    void right_button_offers_what_there_is();
    void keys_open_the_menu_on_the_picture_data();
    void keys_open_the_menu_on_the_picture();
    void shortcuts_work_anywhere_in_the_window_data();
    void shortcuts_work_anywhere_in_the_window();
    void text_boxes_keep_their_editing_keys_data();
    void text_boxes_keep_their_editing_keys();
    void copy_puts_the_picture_on_the_clipboard();
    void saved_measurement_reopens_with_the_same_graph_and_fit();
    void a_spreadsheet_copy_opens_with_the_same_trace();
    void refused_files_change_nothing_data();
    void refused_files_change_nothing();
    void failed_writes_keep_the_earlier_file_data();
    void failed_writes_keep_the_earlier_file();
    void prints_to_a_pdf_file();
    void print_caption_data();
    void print_caption();
    void dropped_file_is_opened_data();
    void dropped_file_is_opened();
    void open_is_offered_only_between_runs_data();
    void open_is_offered_only_between_runs();
    void results_view_copies_and_follows_the_graph();

private:
    void measure_simulated_cart();
    void click(QPushButton *button) { QTest::mouseClick(button, Qt::LeftButton); }
    std::unique_ptr<test_support::TestWindow> new_window(PictureMenu *&menu);

    std::unique_ptr<FakeLoopHost> host_;
    std::unique_ptr<converter::SimulatedConverter> simulated_;
    std::unique_ptr<test_support::TestWindow> form_;
    PictureMenu *menu_ = nullptr;
    QTemporaryDir dir_;
    QStringList asked_;  // titles of the file questions asked
    QString answer_;     // what the file question answers
};

std::unique_ptr<test_support::TestWindow> TestPictureMenu::new_window(PictureMenu *&menu)
{
    std::unique_ptr<test_support::TestWindow> form = test_support::show_form(*host_, *simulated_);
    menu = new PictureMenu(*form);
    menu->set_file_asker([this](QWidget *, const PictureMenu::FileQuestion &question) {
        asked_ << question.title;
        return answer_;
    });
    return form;
}

void TestPictureMenu::init()
{
    host_ = std::make_unique<FakeLoopHost>();
    simulated_ = std::make_unique<converter::SimulatedConverter>(host_->fake_clock());
    form_ = new_window(menu_);
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    asked_.clear();
    answer_.clear();
}

void TestPictureMenu::cleanup() { form_.reset(); }

void TestPictureMenu::measure_simulated_cart()
{
    form_->ui.HScroll1->setValue(1);
    form_->ui.HScroll2->setValue(1);
    click(form_->ui.Cmd_計測);
}

void TestPictureMenu::right_button_offers_what_there_is_data()
{
    QTest::addColumn<int>("steps");  // 0 nothing, 1 計測, 2 計測 and グラフ
    QTest::addColumn<bool>("picture_items");
    QTest::addColumn<bool>("save_data");
    QTest::newRow("before any measurement") << 0 << false << false;
    QTest::newRow("after 計測") << 1 << true << true;
    QTest::newRow("after グラフ") << 2 << true << true;
}

void TestPictureMenu::right_button_offers_what_there_is()
{
    QFETCH(int, steps);
    QFETCH(bool, picture_items);
    QFETCH(bool, save_data);
    if (steps >= 1)
        measure_simulated_cart();
    if (steps >= 2)
        click(form_->ui.Cmd_graph);
    // The window system turns a press of the right button into this event.
    QContextMenuEvent right_button(
        QContextMenuEvent::Mouse, QPoint(100, 100), form_->ui.Picture1->mapToGlobal(QPoint(100, 100)));
    QApplication::sendEvent(form_->ui.Picture1, &right_button);
    QTRY_VERIFY(menu_->menu()->isVisible());
    QCOMPARE(menu_->copy_image_action()->isEnabled(), picture_items);
    QCOMPARE(menu_->save_image_action()->isEnabled(), picture_items);
    QCOMPARE(menu_->print_action()->isEnabled(), picture_items);
    QCOMPARE(menu_->save_data_action()->isEnabled(), save_data);
    QVERIFY(menu_->open_data_action()->isEnabled());
    menu_->menu()->close();
}

void TestPictureMenu::keys_open_the_menu_on_the_picture_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("opens");
    QTest::newRow("menu key") << int(Qt::Key_Menu) << int(Qt::NoModifier) << true;
    QTest::newRow("Shift+F10") << int(Qt::Key_F10) << int(Qt::ShiftModifier) << true;
    QTest::newRow("F10 alone") << int(Qt::Key_F10) << int(Qt::NoModifier) << false;
}

void TestPictureMenu::keys_open_the_menu_on_the_picture()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, opens);
    form_->activateWindow();
    form_->ui.Picture1->setFocus();
    QTRY_VERIFY(form_->ui.Picture1->hasFocus());
    QTest::keyClick(form_->ui.Picture1, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(menu_->menu()->isVisible(), opens);
    menu_->menu()->close();
}

void TestPictureMenu::shortcuts_work_anywhere_in_the_window_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("during_measurement");
    QTest::newRow("Ctrl+S on a button") << "Cmd_end" << QKeySequence(Qt::CTRL | Qt::Key_S) << "データを保存"
                                        << "d.csv" << false;
    QTest::newRow("Ctrl+S in a text box") << "Text1" << QKeySequence(Qt::CTRL | Qt::Key_S) << "データを保存"
                                          << "d.csv" << false;
    QTest::newRow("Ctrl+Shift+S on a scroll bar")
        << "HScroll2" << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S) << "画像を保存"
        << "p.png" << false;
    QTest::newRow("Ctrl+O in a text box") << "Text3" << QKeySequence(Qt::CTRL | Qt::Key_O) << "計測データを開く"
                                          << "" << false;
    // While 計測 records, no dialog opens: it would hold the readings until it closed.
    QTest::newRow("Ctrl+Shift+S during 計測") << "Cmd_end" << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S) << ""
                                              << "refused.png" << true;
    QTest::newRow("Ctrl+P during 計測") << "Cmd_end" << QKeySequence(Qt::CTRL | Qt::Key_P) << ""
                                        << "" << true;
    QTest::newRow("Ctrl+S during 計測") << "Text1" << QKeySequence(Qt::CTRL | Qt::Key_S) << ""
                                        << "refused.csv" << true;
    QTest::newRow("Ctrl+O during 計測") << "HScroll1" << QKeySequence(Qt::CTRL | Qt::Key_O) << ""
                                        << "" << true;
}

void TestPictureMenu::shortcuts_work_anywhere_in_the_window()
{
    QFETCH(QString, focus);
    QFETCH(QKeySequence, keys);
    QFETCH(QString, asked);
    QFETCH(QString, file);
    QFETCH(bool, during_measurement);
    measure_simulated_cart();
    auto *widget = form_->findChild<QWidget *>(focus);
    QVERIFY(widget);
    form_->activateWindow();
    widget->setFocus();
    QTRY_VERIFY(widget->hasFocus());
    answer_ = file.isEmpty() ? QString() : dir_.filePath(file);
    if (!during_measurement) {
        QTest::keySequence(widget, keys);
        QCOMPARE(asked_, QStringList{asked});
    } else {
        // A dialog that opens all the same is seen and closed here.
        QStringList dialogs;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                dialogs << QString::fromLatin1(dialog->metaObject()->className());
                dialog->reject();
            }
        });
        closer.start(5);
        host_->at_pump(host_->pumps() + 20, [&] {
            widget->setFocus();
            QTest::keySequence(widget, keys);
        });
        click(form_->ui.Cmd_計測);
        QCOMPARE(asked_, QStringList());
        QCOMPARE(dialogs, QStringList());
        QCOMPARE(form_->document().state.last_sample, 1000);
        QVERIFY(!QFile::exists(answer_));
        return;
    }
    if (file.endsWith(QStringLiteral(".csv")))
        QVERIFY(storage::parse_measurement_csv(contents(answer_)).record);
    if (file.endsWith(QStringLiteral(".png")))
        QCOMPARE(QImage(answer_).convertToFormat(QImage::Format_RGB32),
            form_->picture().image().convertToFormat(QImage::Format_RGB32));
}

void TestPictureMenu::text_boxes_keep_their_editing_keys_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("clipboard_after");
    QTest::addColumn<QString>("text_after");
    QTest::addColumn<QString>("selected_after");
    // Text2 holds "1", all of it selected, and the clipboard "7" before each key.
    QTest::newRow("Ctrl+C copies the text") << QKeySequence(QKeySequence::Copy) << "1"
                                            << "1"
                                            << "1";
    QTest::newRow("Ctrl+V pastes into it") << QKeySequence(QKeySequence::Paste) << "7"
                                           << "7"
                                           << "";
    QTest::newRow("Ctrl+A selects it all") << QKeySequence(QKeySequence::SelectAll) << "7"
                                           << "1"
                                           << "1";
}

void TestPictureMenu::text_boxes_keep_their_editing_keys()
{
    QFETCH(QKeySequence, keys);
    QFETCH(QString, clipboard_after);
    QFETCH(QString, text_after);
    QFETCH(QString, selected_after);
    measure_simulated_cart();
    form_->activateWindow();
    form_->ui.Text2->setFocus();
    QTRY_VERIFY(form_->ui.Text2->hasFocus());
    form_->ui.Text2->selectAll();
    if (keys == QKeySequence(QKeySequence::SelectAll))
        form_->ui.Text2->deselect();
    QApplication::clipboard()->setText(QStringLiteral("7"));
    QTest::keySequence(form_->ui.Text2, keys);
    QCOMPARE(QApplication::clipboard()->text(), clipboard_after);
    QVERIFY(QApplication::clipboard()->image().isNull());
    QCOMPARE(form_->ui.Text2->text(), text_after);
    QCOMPARE(form_->ui.Text2->selectedText(), selected_after);
}

void TestPictureMenu::copy_puts_the_picture_on_the_clipboard()
{
    measure_simulated_cart();
    form_->activateWindow();
    form_->ui.Cmd_end->setFocus();
    QTRY_VERIFY(form_->ui.Cmd_end->hasFocus());
    QApplication::clipboard()->setText(QStringLiteral("7"));
    QTest::keySequence(form_->ui.Cmd_end, QKeySequence::Copy);
    const QImage copied = QApplication::clipboard()->image();
    QCOMPARE(copied.size(), form_->picture().image().size());
    QCOMPARE(
        copied.convertToFormat(QImage::Format_RGB32), form_->picture().image().convertToFormat(QImage::Format_RGB32));
}

void TestPictureMenu::saved_measurement_reopens_with_the_same_graph_and_fit()
{
    menu_->set_simulated_source(converter::CartMotion{});
    // The standing the run had is kept beside where the readings came from.
    test_support::FakePrioritySystem priority(
        {QStringLiteral("class"), QStringLiteral("audio"), QStringLiteral("no-rtkit")});
    host_->set_priority_system(&priority);
    measure_simulated_cart();
    host_->set_priority_system(nullptr);
    const QImage trace = form_->picture().image().copy();
    form_->ui.Text3->setText(QStringLiteral("2"));
    click(form_->ui.Cmd_graph);
    click(form_->ui.Cmd_最小2乗法);
    const common::TimeRange range{0.1, 0.4375};
    form_->document().set_range(range);
    const QString first_path = dir_.filePath(QStringLiteral("first.csv"));
    QVERIFY(menu_->save_data_to(first_path));
    const QByteArray first_file = contents(first_path);
    QVERIFY(QString::fromUtf8(first_file)
                .contains(QStringLiteral(
                    "\r\n入力,simulated,初速度(cm/s),20,加速度(cm/s²),60,発車までの時間(s),0.05,穴の幅(mm),5,"
                    "計測中の優先度,SCHED_FIFO 10\r\n")));
    QVERIFY(QString::fromUtf8(first_file).contains(QStringLiteral("\r\n1区間の穴数,2\r\n")));
    QVERIFY(QString::fromUtf8(first_file).contains(QStringLiteral("\r\n計測日時,")));

    // A fresh window, its settings elsewhere, opens the file.
    PictureMenu *second_menu = nullptr;
    std::unique_ptr<test_support::TestWindow> second = new_window(second_menu);
    second->ui.HScroll1->setValue(50);
    second->ui.HScroll2->setValue(5);
    QVERIFY(second_menu->open_file(first_path));
    QCOMPARE(second->document().range, std::optional(range));
    const common::MeasurementState &a = form_->document().state;
    const common::MeasurementState &b = second->document().state;
    const QStringList settings = {second->ui.Text1->text(), second->ui.Text2->text(), second->ui.Text3->text()};
    QCOMPARE(settings, (QStringList{"1", "1", "2"}));
    QCOMPARE(
        second->ui.HScroll1->value() * 100 + second->ui.HScroll2->value() * 10 + second->ui.HScroll3->value(), 112);
    QCOMPARE(b.period_ms, std::int16_t(1));
    QVERIFY(b.sample_rate == a.sample_rate && b.meas_time == a.meas_time && b.last_sample == a.last_sample);
    QVERIFY(b.samples == a.samples);
    QVERIFY(b.measured && !b.fit_shown && !b.graphed);
    QVERIFY(second->picture().image() == trace);

    QTest::mouseClick(second->ui.Cmd_graph, Qt::LeftButton);
    QTest::mouseClick(second->ui.Cmd_最小2乗法, Qt::LeftButton);
    QCOMPARE(b.edge_count, a.edge_count);
    QVERIFY(b.edge_count > 5);
    QCOMPARE(b.plotted_sections, a.plotted_sections);
    // The section tables bit for bit (QCOMPARE of floats would allow a fuzzy match).
    const auto count = static_cast<std::ptrdiff_t>(a.edge_count) + 1;
    QVERIFY(std::equal(a.sect_time.begin(), a.sect_time.begin() + count, b.sect_time.begin()));
    QVERIFY(std::equal(a.sect_velocity.begin(), a.sect_velocity.begin() + count, b.sect_velocity.begin()));
    QVERIFY(std::equal(a.sect_dt.begin(), a.sect_dt.begin() + count, b.sect_dt.begin()));
    QVERIFY(std::equal(a.edge_index.begin(), a.edge_index.begin() + count, b.edge_index.begin()));
    // The same picture, the printed 初速度 and 加速度 included, to the last pixel.
    QVERIFY(second->picture().image() == form_->picture().image());
    // And the same file, but for the time it was saved (line 3): the readings keep their source and
    // the time they were measured, though the second window's own would come from its port.
    const QString second_path = dir_.filePath(QStringLiteral("second.csv"));
    QVERIFY(second_menu->save_data_to(second_path));
    QList<QByteArray> first_lines = first_file.split('\n');
    QList<QByteArray> second_lines = contents(second_path).split('\n');
    first_lines.removeAt(2);
    second_lines.removeAt(2);
    QVERIFY(first_lines == second_lines);
    const std::optional<storage::MeasurementRecord> record = storage::parse_measurement_csv(first_file).record;
    QVERIFY(record && record->fit);
    QVERIFY(record->fit->statistics.slope_error && *record->fit->statistics.slope_error > 0);
}

void TestPictureMenu::a_spreadsheet_copy_opens_with_the_same_trace()
{
    // 3 ms: 333.33334 readings a second, which a spreadsheet shows, and saves again, as 333.3333.
    form_->ui.HScroll1->setValue(3);
    form_->ui.HScroll2->setValue(1);
    click(form_->ui.Cmd_計測);
    const QString path = dir_.filePath(QStringLiteral("measured.csv"));
    QVERIFY(menu_->save_data_to(path));
    const QString written = QString::fromUtf8(contents(path).mid(3));
    QVERIFY(written.contains(QStringLiteral("\r\nサンプル毎秒,333.33334\r\n")));

    // Saved again in code page 932: numbers as shown with 7 digits, dates without seconds, empty
    // lines as commas.
    QByteArray copy;
    const QString date_format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    QStringList lines = written.split(QStringLiteral("\r\n"));
    lines.removeLast();  // after the last line's end
    for (const QString &line : lines) {
        QStringList fields = line.isEmpty() ? QStringList(3) : line.split(QLatin1Char(','));
        for (QString &field : fields) {
            bool number = false;
            const double value = field.toDouble(&number);
            if (number && field.contains(QLatin1Char('.')))
                field = QString::number(value, 'g', 7);
            const QDateTime date = QDateTime::fromString(field, date_format);
            if (date.isValid())
                field = date.toString(QStringLiteral("yyyy/M/d H:mm"));
        }
        copy += test_support::in_cp932(fields.join(QLatin1Char(','))) + "\r\n";
    }
    QVERIFY(copy.contains("333.3333\r\n"));
    const QString copy_path = dir_.filePath(QStringLiteral("copy.csv"));
    QVERIFY(put(copy_path, copy));

    PictureMenu *second_menu = nullptr;
    std::unique_ptr<test_support::TestWindow> second = new_window(second_menu);
    second_menu->set_simulated_source(converter::CartMotion{});
    MessageBoxWatcher watcher;
    QVERIFY(second_menu->open_file(copy_path));
    QVERIFY(watcher.seen.isEmpty());
    QCOMPARE(second->ui.HScroll1->value(), 3);
    QVERIFY(second->document().state.sample_rate == form_->document().state.sample_rate);
    QCOMPARE(second->document().state.last_sample, 333);
    QVERIFY(second->document().state.samples == form_->document().state.samples);
    QVERIFY(second->picture().image() == form_->picture().image());

    // Saved once more, it keeps its port and its time of measuring, to the minute the copy kept.
    const QString again_path = dir_.filePath(QStringLiteral("again.csv"));
    QVERIFY(second_menu->save_data_to(again_path));
    const std::optional<storage::MeasurementRecord> first = storage::parse_measurement_csv(contents(path)).record;
    const std::optional<storage::MeasurementRecord> again = storage::parse_measurement_csv(contents(again_path)).record;
    QVERIFY(first && again);
    QCOMPARE(again->source, (QStringList{"port", "COM1", "計測中の優先度", "なし"}));
    QCOMPARE(
        again->measured_at.toString(date_format), first->measured_at.toString(QStringLiteral("yyyy-MM-dd HH:mm:00")));
}

void TestPictureMenu::refused_files_change_nothing_data()
{
    // Every way a file's own lines are refused is in the storage tests; here, one of them, the
    // window's own check of the rate against its plan, and the bound on the size.
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("problem");
    QTest::addColumn<int>("line");
    using storage::ReadProblem;
    QTest::newRow("reading 300") << saved_file_with_line(13, "1,0.1,300") << int(ReadProblem::SampleOutOfRange) << 13;
    QTest::newRow("a rate that 100 ms does not give")
        << saved_file_with_line(7, "サンプル毎秒,10.5") << int(ReadProblem::RateMismatch) << 7;
    QTest::newRow("a range past the recording")
        << saved_file_with_line(9, "範囲(s),0.5,1.01\r\n") << int(ReadProblem::RangeOutOfRange) << 9;
    QTest::newRow("larger than any of ours")
        << saved_file_with_line(0, {}) + QByteArray(storage::kMaxFileBytes, '\n') << int(ReadProblem::TooLarge) << 0;
    // Opening a pipe for reading would wait for a writer: it is refused at once instead.
    QTest::newRow("a pipe in place of the file") << QByteArray() << int(ReadProblem::NotAFile) << 0;
}

void TestPictureMenu::refused_files_change_nothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, problem);
    QFETCH(int, line);
    measure_simulated_cart();
    click(form_->ui.Cmd_graph);
    form_->ui.HScroll1->setValue(7);
    const common::MeasurementState before = form_->document().state;
    const QImage picture = form_->picture().image().copy();
    QString path = dir_.filePath(QStringLiteral("bad.csv"));
    QFile::remove(path);
    std::optional<test_support::NamedPipe> pipe;
    if (bytes.isNull())
        QVERIFY(pipe.emplace(path).made());
    else
        QVERIFY(put(path, bytes));
    MessageBoxWatcher watcher;
    QVERIFY(!menu_->open_file(path));

    QCOMPARE(watcher.seen.size(), 1);
    const QString expected
        = messages::file_cannot_open(path, storage::ReadFailure{storage::ReadProblem(problem), line, QString()});
    QCOMPARE(watcher.seen[0].text, expected);
    QVERIFY(line == 0 || expected.contains(QStringLiteral("%1 行目").arg(line)));
    const common::MeasurementState &after = form_->document().state;
    QVERIFY(after.samples == before.samples);
    QCOMPARE(after.last_sample, before.last_sample);
    QCOMPARE(after.sample_rate, before.sample_rate);
    QCOMPARE(after.period_ms, before.period_ms);
    QCOMPARE(after.graphed, before.graphed);
    QCOMPARE(after.edge_count, before.edge_count);
    QVERIFY(form_->picture().image() == picture);
    QCOMPARE(form_->ui.HScroll1->value(), 7);
    QCOMPARE(form_->ui.Text1->text(), QStringLiteral("7"));
    QCOMPARE(form_->ui.HScroll2->value(), 1);
    QVERIFY(form_->ui.Cmd_hukugen->isEnabled());
}

void TestPictureMenu::failed_writes_keep_the_earlier_file_data()
{
    QTest::addColumn<bool>("picture");
    QTest::newRow("data") << false;
    QTest::newRow("picture") << true;
}

void TestPictureMenu::failed_writes_keep_the_earlier_file()
{
    QFETCH(bool, picture);
    measure_simulated_cart();
    // Root ignores permission bits, but not a folder that is really a file: the temporary file
    // beside the target cannot be made, as in a folder nobody may write to.
    const QString earlier = dir_.filePath(picture ? QStringLiteral("earlier.png") : QStringLiteral("earlier.csv"));
    QVERIFY(put(earlier, "earlier"));
    const QString path = earlier + QStringLiteral("/new.csv");
    MessageBoxWatcher watcher;
    QVERIFY(!(picture ? menu_->save_image_to(path) : menu_->save_data_to(path)));
    QCOMPARE(watcher.seen.size(), 1);
    // No file was there by that name before.
    QCOMPARE(watcher.seen[0].text,
        messages::file_cannot_save(path, storage::SaveFailure{storage::SaveProblem::FolderMissing, {}, false}));
    QCOMPARE(contents(earlier), QByteArray("earlier"));
}

void TestPictureMenu::prints_to_a_pdf_file()
{
    measure_simulated_cart();
    click(form_->ui.Cmd_graph);
    click(form_->ui.Cmd_最小2乗法);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString path = dir_.filePath(QStringLiteral("print.pdf"));
    printer.setOutputFileName(path);
    QVERIFY(menu_->print_to(printer));
    const QByteArray pdf = contents(path);
    QVERIFY(pdf.startsWith("%PDF"));
    // One page, carrying the picture as an image.
    QCOMPARE(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r") + pdf.count("/Type /Page "), 1);
    QVERIFY(pdf.contains("/Subtype /Image"));
}

void TestPictureMenu::print_caption_data()
{
    QTest::addColumn<int>("steps");  // 1 計測, 2 and グラフ, 3 and 最小２乗法
    QTest::addColumn<QString>("expected");
    QTest::newRow("measured") << 1 << "運動の解析　2026-12-07 15:30　計測周期 1 ms";
    QTest::newRow("graphed") << 2 << "運動の解析　2026-12-07 15:30　計測周期 1 ms　1区間の穴数 3";
    QTest::newRow("fit shown") << 3
                               << "運動の解析　2026-12-07 15:30　計測周期 1 ms　1区間の穴数 3　初速度 %1　加速度 "
                                  "%2　位置の当てはめの加速度 %3";
}

void TestPictureMenu::print_caption()
{
    QFETCH(int, steps);
    QFETCH(QString, expected);
    measure_simulated_cart();
    form_->ui.Text3->setText(QStringLiteral("3"));
    if (steps >= 2)
        click(form_->ui.Cmd_graph);
    if (steps >= 3) {
        click(form_->ui.Cmd_最小2乗法);
        // The texts the window printed, read back from the file's fit table.
        const QString path = dir_.filePath(QStringLiteral("fit.csv"));
        QVERIFY(menu_->save_data_to(path));
        const auto record = storage::parse_measurement_csv(contents(path)).record;
        QVERIFY(record && record->fit && record->position_fit && record->position_fit->acceleration_error);
        QVERIFY(record->fit->initial_velocity_text.endsWith(QStringLiteral("cm/s")));
        const QString position_fit = value_with_error(
            record->position_fit->acceleration, record->position_fit->acceleration_error, QStringLiteral("cm/s²"));
        QVERIFY(position_fit.contains(QStringLiteral(" ± ")));
        expected = expected.arg(record->fit->initial_velocity_text, record->fit->acceleration_text, position_fit);
    }
    // The period comes from the measurement, not from where the scroll bar went since.
    form_->ui.HScroll1->setValue(40);
    QCOMPARE(::print_caption(form_->document().state, form_->document().strip_analysis,
                 QDateTime(QDate(2026, 12, 7), QTime(15, 30))),
        expected);
}

void TestPictureMenu::dropped_file_is_opened_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("on the window") << "";
    QTest::newRow("on the picture") << "Picture1";
    QTest::newRow("on a text box") << "Text2";
}

void TestPictureMenu::dropped_file_is_opened()
{
    QFETCH(QString, target);
    QWidget *receiver = target.isEmpty() ? form_.get() : form_->findChild<QWidget *>(target);
    QVERIFY(receiver);
    const QString path = dir_.filePath(QStringLiteral("dropped.csv"));
    QVERIFY(put(path, saved_file_with_line(0, {})));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    const QPoint where(400, 300);
    QDragEnterEvent enter(where, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    // A widget that takes no drops passes them to the window, as Qt does.
    QWidget *handler = receiver->acceptDrops() ? receiver : form_.get();
    QApplication::sendEvent(handler, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(where, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(handler, &drop);
    QVERIFY(drop.isAccepted());
    QTRY_COMPARE(form_->document().state.last_sample, 10);
    QCOMPARE(form_->ui.HScroll1->value(), 100);
    QCOMPARE(form_->document().state.samples[1], std::int16_t(230));
    QCOMPARE(form_->ui.Text2->text(), QStringLiteral("1"));
}

void TestPictureMenu::open_is_offered_only_between_runs_data()
{
    QTest::addColumn<bool>("live");
    QTest::addColumn<bool>("save_data");
    QTest::addColumn<bool>("save_image_and_print");
    QTest::newRow("during 計測") << false << false << false;
    QTest::newRow("during 実時間計測") << true << true << true;
}

void TestPictureMenu::open_is_offered_only_between_runs()
{
    QFETCH(bool, live);
    QFETCH(bool, save_data);
    QFETCH(bool, save_image_and_print);
    measure_simulated_cart();
    const QString path = dir_.filePath(QStringLiteral("between.csv"));
    QVERIFY(put(path, saved_file_with_line(0, {})));
    bool open_offered = true;
    bool save_offered = !save_data;
    QList<bool> image_offered;
    bool opened = true;
    host_->at_pump(host_->pumps() + 20, [&] {
        menu_->update_actions();
        open_offered = menu_->open_data_action()->isEnabled();
        save_offered = menu_->save_data_action()->isEnabled();
        image_offered = {menu_->copy_image_action()->isEnabled(), menu_->save_image_action()->isEnabled(),
            menu_->print_action()->isEnabled()};
        opened = menu_->open_file(path);
        if (live)
            click(form_->ui.Cmd_realstop);
    });
    click(live ? form_->ui.Cmd_realtime : form_->ui.Cmd_計測);
    QVERIFY(!open_offered);
    QCOMPARE(save_offered, save_data);
    // Copying opens nothing and stays offered.
    QCOMPARE(image_offered, (QList<bool>{true, save_image_and_print, save_image_and_print}));
    QVERIFY(!opened);
    QCOMPARE(form_->document().state.last_sample, 1000);
}

void TestPictureMenu::results_view_copies_and_follows_the_graph()
{
    // Five pulses 100 readings apart at 1 ms, each half light: four sections of 1.268 cm in 0.1 s,
    // their middles 0.1 s apart from 0.05 s on.
    common::MeasurementState &state = form_->document().state;
    state.period_ms = 1;
    state.sample_rate = 1000;
    state.meas_time = 1;
    state.last_sample = 600;
    state.measured = true;
    std::fill(state.samples.begin(), state.samples.end(), std::int16_t{20});
    for (int pulse = 0; pulse < 5; ++pulse)
        std::fill_n(state.samples.begin() + 5 + 100 * pulse, 50, std::int16_t{230});
    menu_->update_actions();
    QVERIFY(!menu_->results_action()->isEnabled());
    click(form_->ui.Cmd_graph);
    menu_->update_actions();
    QVERIFY(menu_->results_action()->isEnabled());
    form_->activateWindow();
    form_->ui.Cmd_end->setFocus();
    QTRY_VERIFY(form_->ui.Cmd_end->hasFocus());
    QTest::keySequence(form_->ui.Cmd_end, QKeySequence(Qt::CTRL | Qt::Key_I));
    ResultsView *view = menu_->results_view();
    QVERIFY(view && view->isVisible() && !view->isModal());
    QCOMPARE(view->section_table()->rowCount(), 4);

    QString sections = QStringLiteral("k\t中央時刻(s)\t時間(s)\t速度(cm/s)\t点検\n");
    for (int k = 1; k <= 4; ++k)
        sections += QStringLiteral("%1\t%2\t0.100\t12.68\t\n").arg(k).arg(0.1 * k - 0.05, 0, 'f', 4);
    sections += QStringLiteral("\n\t初速度(cm/s)\t標準誤差\t加速度(cm/s²)\t標準誤差\tr²\t点・縁の数\t備考\n");
    const QString strip = QStringLiteral("\nテープの点検\t") + messages::strip_check_clean() + QLatin1Char('\n');
    // The line through exact points; the edges, falling and rising, fit exactly as well.
    QCOMPARE(view->copy_text(),
        sections
            + QStringLiteral(
                "最小２乗法\t13\t\t0.0\t\t\t4\n位置の当てはめ\t12.6800\t0.0000\t0.0000\t0.0000\t1.000000\t9\n")
            + strip);
    QTest::mouseClick(view->copy_button(), Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(), view->copy_text());

    // Four times wider, two points stay on the graph: the line follows them, and their five edges
    // leave one to spare over the curve's four unknowns, too few to tell an error. A second
    // listener of the document hears each change beside the view.
    int changes_heard = 0;
    const QMetaObject::Connection listener
        = connect(&form_->document(), &MeasurementDocument::graph_changed, this, [&changes_heard] { ++changes_heard; });
    click(form_->ui.Cmd_yoko_large);
    click(form_->ui.Cmd_yoko_large);
    disconnect(listener);
    QCOMPARE(changes_heard, 2);
    QCOMPARE(view->copy_text(),
        sections + QStringLiteral("最小２乗法\t13\t\t0.0\t\t\t2\n位置の当てはめ\t\t\t\t\t\t\t")
            + messages::position_fit_refused(analysis::PositionFitRefusal::TooFewEdges) + QLatin1Char('\n') + strip);
    // A new measurement empties the view until the next グラフ.
    measure_simulated_cart();
    QCOMPARE(view->section_table()->rowCount(), 0);
    QVERIFY(view->copy_text().isEmpty() && !view->copy_button()->isEnabled());
}

QTEST_MAIN(TestPictureMenu)
#include "tst_picture_menu.moc"
