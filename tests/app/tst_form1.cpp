// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The window as a person first meets it: controls, captions, settings, and the ways out.

#include "converter/converter.h"
#include "fake_loop_host.h"
#include "form1.h"
#include "picture_box.h"
#include "recording_lines.h"
#include "window_commands.h"
#include "window_test_support.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <memory>

using test_support::FakeLoopHost;
using test_support::picture_is_blank;

class TestForm1 : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void caption_and_size();
    void control_places_data();
    void control_places();
    void initial_values();
    void tab_order_and_focus();
    void icon();
    void scroll_bar_steps_data();
    void scroll_bar_steps();
    void scroll_bar_echo();
    void dragged_thumb_counts_on_release();
    void typed_settings_data();
    void typed_settings();
    void scroll_bar_keys_data();
    void scroll_bar_keys();
    void resizing_moves_nothing();
    void system_commands_that_hold_the_pump_data();
    void system_commands_that_hold_the_pump();
    void exit_button_closes_the_port();
    void close_box_closes_the_port();
    void exit_button_before_any_measurement();

private:
    std::unique_ptr<FakeLoopHost> host_;
    std::unique_ptr<converter::RecordingLines> fake_;
    std::unique_ptr<test_support::TestWindow> form_;
};

void TestForm1::init()
{
    host_ = std::make_unique<FakeLoopHost>();
    fake_ = std::make_unique<converter::RecordingLines>();
    form_ = test_support::show_form(*host_, *fake_);
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

void TestForm1::cleanup() { form_.reset(); }

void TestForm1::caption_and_size()
{
    QCOMPARE(form_->windowTitle(), QStringLiteral("ケルノアによる運動の解析"));
    QCOMPARE(form_->size(), QSize(831, 582));
    QCOMPARE(form_->ui.Picture1->width(), 660);
    QCOMPARE(form_->picture().width(), 660);
    QCOMPARE(form_->picture().height(), 480);
}

void TestForm1::control_places_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("place");
    QTest::addColumn<QString>("caption");

    QTest::newRow("終了") << "Cmd_end" << QRect(16, 136, 81, 33) << "終了";
    QTest::newRow("計測") << "Cmd_計測" << QRect(16, 40, 81, 33) << "計測";
    QTest::newRow("HScroll1") << "HScroll1" << QRect(16, 288, 73, 25) << "";
    QTest::newRow("Text1") << "Text1" << QRect(32, 320, 33, 18) << "1";
    QTest::newRow("Label2") << "Label2" << QRect(32, 272, 57, 17) << "計測周期";
    QTest::newRow("Label3") << "Label3" << QRect(72, 320, 25, 17) << "ms";
    QTest::newRow("Picture1") << "Picture1" << QRect(112, 40, 660, 480) << "";
    QTest::newRow("グラフ") << "Cmd_graph" << QRect(16, 72, 81, 33) << "グラフ";
    QTest::newRow("最小２乗法") << "Cmd_最小2乗法" << QRect(16, 104, 81, 33) << "最小２乗法";
    QTest::newRow("実時間計測") << "Cmd_realtime" << QRect(16, 184, 81, 33) << "実時間計測";
    QTest::newRow("中止") << "Cmd_realstop" << QRect(16, 216, 81, 33) << "中止";
    QTest::newRow("横拡大") << "Cmd_yoko_large" << QRect(344, 536, 97, 33) << "横拡大";
    QTest::newRow("横縮小") << "Cmd_yoko_small" << QRect(440, 536, 89, 33) << "横縮小";
    QTest::newRow("縦拡大") << "Cmd_tate_large" << QRect(544, 536, 81, 33) << "縦拡大";
    QTest::newRow("縦縮小") << "Cmd_tate_small" << QRect(624, 536, 89, 33) << "縦縮小";
    QTest::newRow("元のグラフ") << "Cmd_hukugen" << QRect(184, 536, 121, 33) << "元のグラフ";
    QTest::newRow("HScroll2") << "HScroll2" << QRect(16, 376, 73, 25) << "";
    QTest::newRow("Text2") << "Text2" << QRect(32, 408, 33, 18) << "1";
    QTest::newRow("Label4") << "Label4" << QRect(32, 360, 57, 17) << "計測時間";
    QTest::newRow("Text3") << "Text3" << QRect(32, 504, 33, 18) << "1";
    QTest::newRow("Label5") << "Label5" << QRect(24, 456, 73, 17) << "1区間の穴数";
    QTest::newRow("Label1") << "Label1" << QRect(72, 408, 17, 17) << "ｓ";
    QTest::newRow("HScroll3") << "HScroll3" << QRect(24, 472, 57, 25) << "";
}

void TestForm1::control_places()
{
    QFETCH(QString, name);
    QFETCH(QRect, place);
    QFETCH(QString, caption);

    QWidget *control = form_->findChild<QWidget *>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(control->geometry(), place);
    if (auto *button = qobject_cast<QPushButton *>(control))
        QCOMPARE(button->text(), caption);
    else if (auto *label = qobject_cast<QLabel *>(control))
        QCOMPARE(label->text(), caption);
    else if (auto *text_box = qobject_cast<QLineEdit *>(control)) {
        QCOMPARE(text_box->text(), caption);
        QVERIFY(text_box->font().bold());
        QCOMPARE(text_box->font().pointSize(), 9);
    }
}

void TestForm1::initial_values()
{
    for (QPushButton *button : {form_->ui.Cmd_hukugen, form_->ui.Cmd_yoko_large, form_->ui.Cmd_yoko_small,
             form_->ui.Cmd_tate_large, form_->ui.Cmd_tate_small})
        QVERIFY2(!button->isEnabled(), qPrintable(button->text()));
    for (QPushButton *button : {form_->ui.Cmd_end, form_->ui.Cmd_計測, form_->ui.Cmd_graph, form_->ui.Cmd_最小2乗法,
             form_->ui.Cmd_realtime, form_->ui.Cmd_realstop})
        QVERIFY2(button->isEnabled(), qPrintable(button->text()));

    QCOMPARE(form_->ui.HScroll1->minimum(), 1);
    QCOMPARE(form_->ui.HScroll1->maximum(), 1000);
    QCOMPARE(form_->ui.HScroll2->maximum(), 10);
    QCOMPARE(form_->ui.HScroll3->maximum(), 10);
    for (QScrollBar *bar : {form_->ui.HScroll1, form_->ui.HScroll2, form_->ui.HScroll3})
        QCOMPARE(bar->value(), 1);

    QCOMPARE(form_->document().state.x_zoom, 1.0f);
    QCOMPARE(form_->document().state.y_zoom, 1.0f);
    QVERIFY(!form_->document().state.measured);
    QVERIFY(!form_->ui.measure_progress->isVisible());
    QVERIFY(picture_is_blank(form_->picture()));
    // The port stays closed until a measurement.
    QVERIFY(fake_->log.empty());
}

void TestForm1::tab_order_and_focus()
{
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QCOMPARE(QApplication::focusWidget(), form_->ui.Cmd_end);

    const QList<QWidget *> expected
        = {form_->ui.Cmd_end, form_->ui.Cmd_計測, form_->ui.HScroll1, form_->ui.Text1, form_->ui.Picture1,
            form_->ui.Cmd_graph, form_->ui.Cmd_最小2乗法, form_->ui.Cmd_realtime, form_->ui.Cmd_realstop,
            form_->ui.Cmd_yoko_large, form_->ui.Cmd_yoko_small, form_->ui.Cmd_tate_large, form_->ui.Cmd_tate_small,
            form_->ui.Cmd_hukugen, form_->ui.HScroll2, form_->ui.Text2, form_->ui.Text3, form_->ui.HScroll3};
    // Disabled controls are passed over by the keyboard focus.
    QList<QWidget *> reachable;
    std::copy_if(expected.begin(), expected.end(), std::back_inserter(reachable),
        [](QWidget *widget) { return widget->isEnabled(); });
    QWidget *widget = form_->ui.Cmd_end;
    for (qsizetype i = 1; i < reachable.size(); ++i) {
        do
            widget = widget->nextInFocusChain();
        while (widget->focusPolicy() == Qt::NoFocus || !widget->isEnabled());
        QCOMPARE(widget, reachable[i]);
    }
}

void TestForm1::icon()
{
    const QImage icon = program_icon().pixmap(32, 32).toImage();
    QCOMPARE(icon.size(), QSize(32, 32));
    QCOMPARE(QColor(icon.pixel(0, 0)), QColor(255, 255, 0));  // yellow ground
    QSet<QRgb> colours;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            colours.insert(icon.pixel(x, y) & 0xFFFFFFu);
    QVERIFY(colours.size() <= 16);
    QVERIFY(colours.contains(qRgb(0, 255, 0) & 0xFFFFFFu));  // the green cart
    QVERIFY(!form_->windowIcon().isNull());
}

void TestForm1::scroll_bar_steps_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("arrow_step");
    QTest::addColumn<int>("page_step");

    QTest::newRow("period: 1 ms per arrow, 10 ms per page") << "HScroll1" << 1 << 10;
    QTest::newRow("time: 1 s either way") << "HScroll2" << 1 << 1;
    QTest::newRow("holes: 1 either way") << "HScroll3" << 1 << 1;
}

void TestForm1::scroll_bar_steps()
{
    QFETCH(QString, name);
    QFETCH(int, arrow_step);
    QFETCH(int, page_step);

    auto *bar = form_->findChild<QScrollBar *>(name);
    QVERIFY(bar);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(bar->value(), 1 + arrow_step);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(bar->value(), 1 + arrow_step + page_step);
}

void TestForm1::scroll_bar_echo()
{
    form_->ui.HScroll1->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(form_->ui.Text1->text(), QStringLiteral("11"));
    QCOMPARE(form_->document().state.period_ms, 11);

    // The time and the holes are only echoed; they are read when 計測 and グラフ are pressed.
    form_->ui.HScroll2->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(form_->ui.Text2->text(), QStringLiteral("2"));
    QCOMPARE(form_->document().state.meas_time, 0.0f);
    form_->ui.HScroll3->setValue(10);
    QCOMPARE(form_->ui.Text3->text(), QStringLiteral("10"));
    QCOMPARE(form_->document().state.holes_per_section, 0);

    // A click on the arrow.
    const QPoint right_arrow(form_->ui.HScroll2->width() - 4, form_->ui.HScroll2->height() / 2);
    QTest::mouseClick(form_->ui.HScroll2, Qt::LeftButton, {}, right_arrow);
    QCOMPARE(form_->ui.Text2->text(), QStringLiteral("3"));
}

void TestForm1::dragged_thumb_counts_on_release()
{
    form_->ui.HScroll1->setSliderDown(true);
    form_->ui.HScroll1->setSliderPosition(500);
    QCOMPARE(form_->ui.Text1->text(), QStringLiteral("1"));
    QCOMPARE(form_->document().state.period_ms, 0);
    form_->ui.HScroll1->setSliderDown(false);
    QCOMPARE(form_->ui.Text1->text(), QStringLiteral("500"));
    QCOMPARE(form_->document().state.period_ms, 500);
}

void TestForm1::typed_settings_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("enter");  // confirmed with Enter, or by moving the focus on
    QTest::addColumn<int>("bar");     // the bar's value afterwards, which the box shows

    QTest::newRow("period in range, Enter") << "Text1"
                                            << "10" << true << 10;
    QTest::newRow("period in full-width digits, focus moves on") << "Text1"
                                                                 << "２５" << false << 25;
    QTest::newRow("period at its maximum") << "Text1"
                                           << "1000" << true << 1000;
    QTest::newRow("period beyond the bar") << "Text1"
                                           << "1001" << true << 1;
    QTest::newRow("period of letters") << "Text1"
                                       << "abc" << true << 1;
    QTest::newRow("period emptied") << "Text1"
                                    << "" << false << 1;
    QTest::newRow("period with a fraction") << "Text1"
                                            << "2.5" << true << 1;
    QTest::newRow("time in range") << "Text2"
                                   << "7" << true << 7;
    QTest::newRow("time of 0") << "Text2"
                               << "0" << true << 1;
    QTest::newRow("time beyond the bar, focus moves on") << "Text2"
                                                         << "11" << false << 1;
}

void TestForm1::typed_settings()
{
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(bool, enter);
    QFETCH(int, bar);

    auto *text = form_->findChild<QLineEdit *>(box);
    QScrollBar *scroll = box == QLatin1String("Text1") ? form_->ui.HScroll1 : form_->ui.HScroll2;
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    text->setFocus();
    text->selectAll();
    QTest::keyClick(text, Qt::Key_Backspace);
    text->insert(typed);
    QTest::keyClick(text, enter ? Qt::Key_Return : Qt::Key_Tab);

    QCOMPARE(scroll->value(), bar);
    QCOMPARE(text->text(), QString::number(bar));
    if (box == QLatin1String("Text1") && bar != 1)
        QCOMPARE(form_->document().state.period_ms, bar);
}

void TestForm1::scroll_bar_keys_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("value");  // from 5

    QTest::newRow("period: right arrow") << "HScroll1" << int(Qt::Key_Right) << 6;
    QTest::newRow("period: left arrow") << "HScroll1" << int(Qt::Key_Left) << 4;
    QTest::newRow("period: page up") << "HScroll1" << int(Qt::Key_PageUp) << 15;
    QTest::newRow("time: page down") << "HScroll2" << int(Qt::Key_PageDown) << 4;
    QTest::newRow("holes: right arrow") << "HScroll3" << int(Qt::Key_Right) << 6;
}

void TestForm1::scroll_bar_keys()
{
    QFETCH(QString, name);
    QFETCH(int, key);
    QFETCH(int, value);

    auto *bar = form_->findChild<QScrollBar *>(name);
    bar->setValue(5);
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    bar->setFocus();
    QVERIFY(bar->hasFocus());
    QTest::keyClick(bar, static_cast<Qt::Key>(key));
    QCOMPARE(bar->value(), value);
}

void TestForm1::resizing_moves_nothing()
{
    const QRect picture = form_->ui.Picture1->geometry();
    const QRect restore = form_->ui.Cmd_hukugen->geometry();
    form_->resize(1200, 900);
    QCoreApplication::processEvents();
    QCOMPARE(form_->ui.Picture1->geometry(), picture);
    QCOMPARE(form_->ui.Cmd_hukugen->geometry(), restore);
    QCOMPARE(form_->picture().width(), 660);
}

void TestForm1::system_commands_that_hold_the_pump_data()
{
    // Windows's message numbers: WM_SYSCOMMAND with SC_... in its parameter, whose low four bits
    // say where the mouse was.
    QTest::addColumn<uint>("message");
    QTest::addColumn<qulonglong>("parameter");
    QTest::addColumn<bool>("holds");
    QTest::newRow("moving by the title bar") << 0x0112u << qulonglong{0xF012} << true;
    QTest::newRow("moving from the system menu") << 0x0112u << qulonglong{0xF010} << true;
    QTest::newRow("sizing by the frame") << 0x0112u << qulonglong{0xF008} << true;
    QTest::newRow("the system menu by a click") << 0x0112u << qulonglong{0xF093} << true;
    QTest::newRow("the system menu by Alt") << 0x0112u << qulonglong{0xF100} << true;
    QTest::newRow("minimising") << 0x0112u << qulonglong{0xF020} << false;
    QTest::newRow("the close box") << 0x0112u << qulonglong{0xF060} << false;
    QTest::newRow("another message with a move's number") << 0x0005u << qulonglong{0xF010} << false;
}

void TestForm1::system_commands_that_hold_the_pump()
{
    QFETCH(uint, message);
    QFETCH(qulonglong, parameter);
    QFETCH(bool, holds);
    QCOMPARE(window_commands::holds_the_pump(message, static_cast<std::uintptr_t>(parameter)), holds);
}

void TestForm1::exit_button_closes_the_port()
{
    QVERIFY(form_->link.open_port("COM1"));
    QTest::mouseClick(form_->ui.Cmd_end, Qt::LeftButton);
    QCOMPARE(fake_->log.back(), converter::LineOp::Close);
    QCOMPARE(form_->link.port_handle(), converter::kInvalidPort);
    QVERIFY(!form_->isVisible());
}

void TestForm1::close_box_closes_the_port()
{
    QVERIFY(form_->link.open_port("COM1"));
    QVERIFY(form_->close());
    QCOMPARE(fake_->log.back(), converter::LineOp::Close);
    QCOMPARE(form_->link.port_handle(), converter::kInvalidPort);
}

void TestForm1::exit_button_before_any_measurement()
{
    QTest::mouseClick(form_->ui.Cmd_end, Qt::LeftButton);
    QVERIFY(!form_->isVisible());
    // No port was ever opened, so there is nothing to close.
    QVERIFY(std::none_of(
        fake_->log.begin(), fake_->log.end(), [](converter::LineOp op) { return op == converter::LineOp::Close; }));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
