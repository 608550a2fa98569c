// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The 計測 command through the window: the recording, the raw trace, the missing port, and the
// ways a measurement can be interrupted.

#include "acquisition/sampling_thread.h"
#include "converter/converter.h"
#include "converter/pseudo_terminal.h"
#include "converter/real_port.h"
#include "converter/simulated_converter.h"
#include "fake_loop_host.h"
#include "form1.h"
#include "message_box_watcher.h"
#include "messages.h"
#include "picture_box.h"
#include "recording_lines.h"
#include "window_test_support.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

using converter::LineOp;
using test_support::count_pixels;
using test_support::FakeLoopHost;

namespace {

constexpr QRgb kRed = qRgb(255, 0, 0);

// Falling crossings of the analysis threshold in samples 0..last.
int falling_edges(const common::MeasurementState &state)
{
    int edges = 0;
    for (int i = 1; i <= state.last_sample; ++i)
        edges += state.samples[i - 1] >= 125 && state.samples[i] < 125;
    return edges;
}

std::int64_t count_ops(const converter::RecordingLines &lines, LineOp op)
{
    return std::count(lines.log.begin(), lines.log.end(), op);
}

}  // namespace

class TestMeasureCommand : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void records_the_passing_holes();
    void sets_the_plan_from_the_scroll_bars();
    void always_ready_converter_reads_full_scale();
    void missing_port_keeps_the_last_measurement();
    void second_measurement_clears_the_samples();
    void progress_shows_during_the_measurement();
    void unusable_converter_keeps_the_last_measurement_data();
    void unusable_converter_keeps_the_last_measurement();
    void pseudo_terminal_keeps_the_last_measurement();
    void failed_lines_end_the_measurement();
    void stop_button_ends_the_measurement();
    void message_during_measurement_keeps_the_schedule_data();
    void message_during_measurement_keeps_the_schedule();
    void scroll_bar_menu_waits_for_the_end_of_the_run();
    void period_setting_counts_from_the_next_measurement();
    void exit_button_during_measurement();
    void close_box_during_measurement();
    void window_beside_its_sampling_thread_data();
    void window_beside_its_sampling_thread();

private:
    void use_simulated_cart();
    void select_settings(int period_ms, int time_s) { select_settings_on(*form_, period_ms, time_s); }
    static void select_settings_on(test_support::TestWindow &form, int period_ms, int time_s);
    // Presses 計測 with the fake ready to answer the converter's preparation.
    void press_measure()
    {
        test_support::answer_preparation(*fake_);
        QTest::mouseClick(form_->ui.Cmd_計測, Qt::LeftButton);
    }

    std::unique_ptr<FakeLoopHost> host_;
    std::unique_ptr<converter::RecordingLines> fake_;
    std::unique_ptr<converter::SimulatedConverter> simulated_;
    std::unique_ptr<test_support::TestWindow> form_;
};

void TestMeasureCommand::init()
{
    host_ = std::make_unique<FakeLoopHost>();
    fake_ = std::make_unique<converter::RecordingLines>();
    // Once prepared, a converter that is always ready and always delivers 255.
    fake_->idle_answer = converter::ModemStatus{true, false};
    form_ = test_support::show_form(*host_, *fake_);
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

void TestMeasureCommand::cleanup()
{
    form_.reset();
    simulated_.reset();
}

void TestMeasureCommand::use_simulated_cart()
{
    simulated_ = std::make_unique<converter::SimulatedConverter>(host_->fake_clock());
    form_->link.use_lines(*simulated_);
}

void TestMeasureCommand::select_settings_on(test_support::TestWindow &form, int period_ms, int time_s)
{
    form.ui.HScroll1->setValue(period_ms);
    form.ui.HScroll2->setValue(time_s);
}

void TestMeasureCommand::records_the_passing_holes()
{
    use_simulated_cart();
    select_settings(1, 1);
    press_measure();

    const common::MeasurementState &state = form_->document().state;
    QVERIFY(state.measured);
    QCOMPARE(state.last_sample, 1000);
    // At 20 cm/s and 60 cm/s² from 0.05 s the strip has moved s(0.95 s) = 46.075 cm by the end:
    // the trailing edges of holes 0..35 (at 1.5 + 1.268 k cm) have passed the sensor.
    const converter::SimulatedCart &cart = simulated_->cart();
    const double moved = cart.position_cm(1.0);
    int expected = 0;
    while (cart.hole_trailing_edge_cm(expected) < moved)
        ++expected;
    QCOMPARE(falling_edges(state), expected);
    const auto [low, high] = std::minmax_element(state.samples.begin(), state.samples.begin() + 1001);
    QVERIFY(*low >= 16 && *low <= 24);
    QVERIFY(*high >= 226 && *high <= 234);

    // The trace is drawn, the button is back, and the port stays open.
    QVERIFY(count_pixels(form_->picture(), kRed) > 600);
    QVERIFY(form_->ui.Cmd_計測->isEnabled());
    QVERIFY(form_->link.port_handle() != converter::kInvalidPort);
}

void TestMeasureCommand::sets_the_plan_from_the_scroll_bars()
{
    select_settings(15, 3);
    press_measure();
    QCOMPARE(form_->document().state.period_ms, 15);
    QCOMPARE(form_->document().state.sample_rate, 66.666664f);
    QCOMPARE(form_->document().state.meas_time, 3.0f);
    QCOMPARE(form_->document().state.last_sample, 199);
    QVERIFY(!form_->document().state.fit_shown);
    // One reading per sample, each ending its data bits with eight status queries: 200 readings.
    QCOMPARE(count_ops(*fake_, LineOp::QueryStatus) >= 200 * 9, true);
}

void TestMeasureCommand::always_ready_converter_reads_full_scale()
{
    // The converter answers its preparation but every data bit reads 1: a flat line at y = 36.
    select_settings(100, 1);
    press_measure();
    QCOMPARE(form_->document().state.last_sample, 10);
    for (int i = 0; i <= 10; ++i)
        QCOMPARE(form_->document().state.samples[i], 255);
    QCOMPARE(form_->picture().image().pixel(0, 36), kRed);
    QCOMPARE(form_->picture().image().pixel(330, 36), kRed);
    QCOMPARE(form_->picture().image().pixel(330, 240), qRgb(255, 255, 255));
}

void TestMeasureCommand::missing_port_keeps_the_last_measurement()
{
    use_simulated_cart();
    select_settings(10, 1);
    press_measure();
    const std::vector<std::int16_t> samples = form_->document().state.samples;
    const QImage picture = form_->picture().image().copy();

    fake_->fail_open = true;
    form_->link.use_lines(*fake_);
    select_settings(1, 5);
    test_support::MessageBoxWatcher watcher;
    press_measure();

    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen[0].text,
        QStringLiteral("ポート %1 を開けません。接続を確認してください。").arg(test_support::com1_device()));
    QCOMPARE(watcher.seen[0].title, QStringLiteral("ケルノアによる運動の解析"));
    QVERIFY(!watcher.seen[0].has_icon);
    QCOMPARE(watcher.seen[0].buttons.size(), 1);
    QVERIFY(form_->document().state.samples == samples);
    QCOMPARE(form_->document().state.last_sample, 100);
    QCOMPARE(form_->document().state.sample_rate, 100.0f);
    QCOMPARE(form_->document().state.meas_time, 1.0f);
    QVERIFY(form_->picture().image() == picture);
    QVERIFY(form_->ui.Cmd_計測->isEnabled());
}

void TestMeasureCommand::second_measurement_clears_the_samples()
{
    select_settings(1, 2);
    press_measure();
    QCOMPARE(form_->document().state.samples[2000], 255);
    select_settings(1, 1);
    press_measure();
    QCOMPARE(form_->document().state.samples[1000], 255);
    QCOMPARE(form_->document().state.samples[1001], 0);
    QCOMPARE(form_->document().state.samples[2000], 0);
}

void TestMeasureCommand::progress_shows_during_the_measurement()
{
    select_settings(1, 2);
    bool shown_while_measuring = false;
    int value_while_measuring = -1;
    host_->at_time_ns(host_->fake_clock().now_ns() + 1'500'000'000, [&] {
        shown_while_measuring = form_->ui.measure_progress->isVisible();
        value_while_measuring = form_->ui.measure_progress->value();
    });
    press_measure();
    QVERIFY(shown_while_measuring);
    // Filled by readings out of N + 1, updated a few times a second: about three quarters at 1.5 s.
    QCOMPARE(form_->ui.measure_progress->maximum(), 2001);
    QVERIFY2(value_while_measuring >= 1200 && value_while_measuring <= 1501,
        qPrintable(QString::number(value_while_measuring)));
    QVERIFY(!form_->ui.measure_progress->isVisible());
    QVERIFY(!form_->ui.measure_progress->hasFocus());
}

void TestMeasureCommand::unusable_converter_keeps_the_last_measurement_data()
{
    QTest::addColumn<bool>("ready");       // CTS asserted at every query
    QTest::addColumn<bool>("fail_lines");  // every line operation fails
    QTest::addColumn<QString>("message");

    QTest::newRow("status never reaches ready") << false << false << messages::converter_silent();
    QTest::newRow("status never returns to busy") << true << false << messages::converter_silent();
    QTest::newRow("a port without modem lines") << true << true << messages::port_lost(test_support::com1_device());
}

void TestMeasureCommand::unusable_converter_keeps_the_last_measurement()
{
    QFETCH(bool, ready);
    QFETCH(bool, fail_lines);
    QFETCH(QString, message);

    select_settings(100, 1);
    press_measure();
    const std::vector<std::int16_t> samples = form_->document().state.samples;
    const QImage picture = form_->picture().image().copy();

    fake_->idle_answer = converter::ModemStatus{ready, false};
    fake_->fail_lines = fail_lines;
    fake_->log.clear();
    select_settings(10, 2);
    test_support::MessageBoxWatcher watcher;
    QTest::mouseClick(form_->ui.Cmd_計測, Qt::LeftButton);

    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen[0].text, message);
    // Only the preparation went over the lines (21 queries in one wait, one in the other), and the
    // port is closed again.
    QCOMPARE(count_ops(*fake_, LineOp::QueryStatus), std::int64_t{22});
    QCOMPARE(fake_->log.back(), LineOp::Close);
    QCOMPARE(form_->link.port_handle(), converter::kInvalidPort);
    QVERIFY(form_->document().state.samples == samples);
    QCOMPARE(form_->document().state.last_sample, 10);
    QCOMPARE(form_->document().state.sample_rate, 10.0f);
    QVERIFY(form_->picture().image() == picture);
    QVERIFY(form_->ui.Cmd_計測->isEnabled());
    QVERIFY(form_->ui.Cmd_realtime->isEnabled());
}

void TestMeasureCommand::pseudo_terminal_keeps_the_last_measurement()
{
    // A real terminal device whose modem-line calls fail: the failure is heard while preparing.
    converter::PseudoTerminal terminal;
    if (terminal.slave_name().empty())
        QSKIP("no pseudo-terminal on this system");
    converter::RealPortLines real_lines;
    test_support::TestWindow form(*host_, real_lines, terminal.slave_name());
    common::MeasurementState &state = form.document().state;
    state.measured = true;
    state.last_sample = 1;
    state.samples[1] = 77;
    form.picture().set_pixel(5, 5, common::kBrightRed);

    test_support::MessageBoxWatcher watcher;
    QTest::mouseClick(form.ui.Cmd_計測, Qt::LeftButton);

    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen[0].text, messages::port_lost(QString::fromStdString(terminal.slave_name())));
    QCOMPARE(state.last_sample, 1);
    QCOMPARE(state.samples[1], std::int16_t{77});
    QCOMPARE(form.picture().image().pixel(5, 5), kRed);
    QVERIFY(form.ui.Cmd_計測->isEnabled());
}

void TestMeasureCommand::failed_lines_end_the_measurement()
{
    // 10 ms for 1 s; the cable is pulled out 300 ms in, while the loop waits.
    select_settings(10, 1);
    const std::int64_t start_ns = host_->fake_clock().now_ns();
    bool realtime_enabled_during = true;
    host_->at_time_ns(start_ns + 300'500'000, [&] {
        fake_->fail_lines = true;
        realtime_enabled_during = form_->ui.Cmd_realtime->isEnabled();
    });
    test_support::MessageBoxWatcher watcher;
    press_measure();

    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen[0].text, messages::port_lost(test_support::com1_device()));
    // The readings up to the failed one are kept, the loop went no further and the port is closed.
    QVERIFY2(form_->document().state.last_sample >= 29 && form_->document().state.last_sample <= 32,
        qPrintable(QString::number(form_->document().state.last_sample)));
    QCOMPARE(form_->document().state.samples[static_cast<std::size_t>(form_->document().state.last_sample + 1)],
        std::int16_t{0});
    QCOMPARE(fake_->log.back(), LineOp::Close);
    QCOMPARE(form_->link.port_handle(), converter::kInvalidPort);
    // The trace stops where the measurement stopped, at its planned scale (6.6 pixels a reading).
    QCOMPARE(form_->picture().image().pixel(0, 36), kRed);
    QCOMPARE(form_->picture().image().pixel(600, 36), qRgb(255, 255, 255));
    QVERIFY(!realtime_enabled_during);
    QVERIFY(form_->ui.Cmd_計測->isEnabled());
    QVERIFY(form_->ui.Cmd_realtime->isEnabled());
    QVERIFY(!form_->ui.Cmd_yoko_large->isEnabled());
}

void TestMeasureCommand::stop_button_ends_the_measurement()
{
    select_settings(10, 1);
    const std::int64_t start_ns = host_->fake_clock().now_ns();
    std::size_t log_at_stop = 0;
    host_->at_time_ns(start_ns + 200'500'000, [&] {
        QTest::mouseClick(form_->ui.Cmd_realstop, Qt::LeftButton);
        log_at_stop = fake_->log.size();
        // The measurement is still unwinding: 計測 must not start a second one inside it.
        QVERIFY(!form_->ui.Cmd_計測->isEnabled());
    });
    press_measure();

    // Nothing went over the lines after 中止 closed the port: no reading of a closed port.
    QVERIFY(log_at_stop > 0);
    QCOMPARE(fake_->log.size(), log_at_stop);
    QCOMPARE(form_->document().state.last_sample, 20);
    for (int i = 0; i <= 20; ++i)
        QCOMPARE(form_->document().state.samples[static_cast<std::size_t>(i)], std::int16_t{255});
    QCOMPARE(form_->document().state.samples[21], std::int16_t{0});
    QCOMPARE(form_->picture().image().pixel(0, 36), kRed);
    QVERIFY(form_->ui.Cmd_計測->isEnabled());
    QVERIFY(form_->ui.Cmd_realtime->isEnabled());
    QVERIFY(!form_->ui.Cmd_hukugen->isEnabled());
}

void TestMeasureCommand::message_during_measurement_keeps_the_schedule_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("holes");  // the text of Text3
    QTest::addColumn<QString>("message");
    QTest::newRow("グラフ refuses the holes per section") << "Cmd_graph"
                                                          << "x" << messages::holes_per_section_refused();
    QTest::newRow("グラフ finds no hole edge") << "Cmd_graph"
                                               << "1" << messages::no_hole_edges();
    QTest::newRow("最小２乗法 before グラフ") << "Cmd_最小2乗法"
                                              << "1" << messages::graph_first();
}

void TestMeasureCommand::message_during_measurement_keeps_the_schedule()
{
    QFETCH(QString, button);
    QFETCH(QString, holes);
    QFETCH(QString, message);
    // 10 ms for 1 s on a converter that always reads 255; the button is pressed 300 ms in.
    select_settings(10, 1);
    const std::int64_t start_ns = host_->fake_clock().now_ns();
    bool returned_with_the_box_open = false;
    host_->at_time_ns(start_ns + 300'500'000, [&] {
        form_->ui.Text3->setText(holes);
        QTest::mouseClick(form_->findChild<QPushButton *>(button), Qt::LeftButton);
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        returned_with_the_box_open = box && box->isVisible() && box->text() == message;
    });
    // Readings taken by a time: those not yet taken still hold 0.
    auto taken = [this] {
        return std::count_if(form_->document().state.samples.begin(), form_->document().state.samples.end(),
            [](auto v) { return v != 0; });
    };
    std::int64_t taken_at_700 = 0;
    host_->at_time_ns(start_ns + 700'500'000, [&] { taken_at_700 = form_->readings_taken(); });
    test_support::MessageBoxWatcher watcher;
    press_measure();

    // The handler did not wait for OK, and the readings went on meanwhile, each at its deadline:
    // readings 0..70 by 700.5 ms, all 101 by the end, which came when the schedule says.
    QVERIFY(returned_with_the_box_open);
    QCOMPARE(taken_at_700, 71);
    QCOMPARE(form_->document().state.last_sample, 100);
    QCOMPARE(taken(), 101);
    QVERIFY(host_->fake_clock().now_ns() - start_ns < 1'012'000'000);
    // The box looks like every other one, and no other message came.
    QTRY_COMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen[0].text, message);
    QCOMPARE(watcher.seen[0].title, QStringLiteral("ケルノアによる運動の解析"));
    QVERIFY(!watcher.seen[0].has_icon);
    QCOMPARE(watcher.seen[0].buttons.size(), 1);
}

void TestMeasureCommand::scroll_bar_menu_waits_for_the_end_of_the_run()
{
    // A scroll bar's own menu would wait for its choice in a loop of its own, holding the readings;
    // one that opens all the same is seen and closed here.
    QTimer closer;
    bool menu_opened = false;
    connect(&closer, &QTimer::timeout, this, [&] {
        if (QWidget *popup = QApplication::activePopupWidget()) {
            menu_opened = true;
            popup->close();
        }
    });
    closer.start(5);
    select_settings(10, 1);
    host_->at_time_ns(host_->fake_clock().now_ns() + 300'500'000, [this] {
        const QPoint inside(10, 10);
        QContextMenuEvent event(QContextMenuEvent::Mouse, inside, form_->ui.HScroll2->mapToGlobal(inside));
        QApplication::sendEvent(form_->ui.HScroll2, &event);
    });
    press_measure();
    QVERIFY(!menu_opened);
    QCOMPARE(form_->document().state.last_sample, 100);
}

void TestMeasureCommand::period_setting_counts_from_the_next_measurement()
{
    select_settings(10, 1);
    const std::int64_t start_ns = host_->fake_clock().now_ns();
    host_->at_time_ns(
        start_ns + 300'500'000, [this] { form_->ui.HScroll1->triggerAction(QScrollBar::SliderSingleStepAdd); });
    press_measure();

    // The readings stayed 10 ms apart: 101 of them in 1.01 s.
    QCOMPARE(form_->document().state.period_ms, 10);
    QCOMPARE(form_->document().state.last_sample, 100);
    QVERIFY(host_->fake_clock().now_ns() - start_ns < 1'020'000'000);
    QCOMPARE(form_->ui.Text1->text(), QStringLiteral("11"));
    press_measure();
    QCOMPARE(form_->document().state.period_ms, 11);
    QCOMPARE(form_->document().state.last_sample, 90);
}

void TestMeasureCommand::exit_button_during_measurement()
{
    select_settings(1, 1);
    std::size_t log_at_exit = 0;
    host_->at_pump(200, [&] {
        QTest::mouseClick(form_->ui.Cmd_end, Qt::LeftButton);
        log_at_exit = fake_->log.size();
    });
    press_measure();

    // The loop ended before the port was closed: nothing but the close happened on the lines
    // after the exit button, and the window was left alone.
    QVERIFY(log_at_exit > 0);
    QCOMPARE(fake_->log.size(), log_at_exit + 1);
    QCOMPARE(fake_->log.back(), LineOp::Close);
    QVERIFY(!form_->isVisible());
    QVERIFY(!form_->ui.Cmd_計測->isEnabled());
    QCOMPARE(form_->picture().image().pixel(0, 36), qRgb(255, 255, 255));
}

void TestMeasureCommand::close_box_during_measurement()
{
    select_settings(1, 1);
    std::size_t log_at_close = 0;
    host_->at_pump(200, [&] {
        form_->close();
        log_at_close = fake_->log.size();
    });
    press_measure();
    QVERIFY(log_at_close > 0);
    QCOMPARE(fake_->log.size(), log_at_close + 1);
    QCOMPARE(fake_->log.back(), LineOp::Close);
    QVERIFY(!form_->isVisible());
}

void TestMeasureCommand::window_beside_its_sampling_thread_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("last_sample");  // -1: the window is gone
    QTest::addColumn<bool>("message");

    // 10 ms for 1 s; the action 200.5 ms in, while the sampling thread waits for reading 21, or
    // the lines failing on the sampling thread 300.5 ms in, before reading 31 fails.
    QTest::newRow("中止") << "stop" << 20 << false;
    QTest::newRow("終了") << "exit" << -1 << false;
    QTest::newRow("the close box") << "close" << -1 << false;
    QTest::newRow("the window destroyed") << "destroy" << -1 << false;
    QTest::newRow("the lines fail on the sampling thread") << "lines" << 31 << true;
}

void TestMeasureCommand::window_beside_its_sampling_thread()
{
    QFETCH(QString, action);
    QFETCH(int, last_sample);
    QFETCH(bool, message);
    form_.reset();
    acquisition::SamplingThread runs;
    runs.set_host(host_.get());
    auto form = std::make_unique<test_support::TestWindow>(runs, *fake_);
    form->show();
    select_settings_on(*form, 10, 1);
    const std::int64_t start_ns = host_->fake_clock().now_ns();
    // The sampling thread waits at the moment of the action until the window's thread has done
    // it: for 中止 until told, for the window going away until the loops are cancelled.
    std::atomic<bool> reached{false};
    std::atomic<bool> done{false};
    std::size_t log_at_action = 0;
    if (action == "lines") {
        host_->at_time_ns(start_ns + 300'500'000, [&] { fake_->fail_lines = true; });
    } else {
        host_->at_time_ns(start_ns + 200'500'000, [&] {
            log_at_action = fake_->log.size();
            reached = true;
            while (!done && !host_->loops_cancelled())
                std::this_thread::yield();
        });
    }
    test_support::MessageBoxWatcher watcher;
    test_support::answer_preparation(*fake_);
    QTest::mouseClick(form->ui.Cmd_計測, Qt::LeftButton);
    QVERIFY(form->sampling());
    if (action != "lines") {
        QTRY_VERIFY(reached);
        if (action == "stop")
            QTest::mouseClick(form->ui.Cmd_realstop, Qt::LeftButton);
        else if (action == "exit")
            QTest::mouseClick(form->ui.Cmd_end, Qt::LeftButton);
        else if (action == "close")
            form->close();
        else
            form.reset();
        done = true;
    }
    if (form)
        QTRY_VERIFY(!form->sampling());
    runs.wait_idle();

    // The port is closed once the loop has ended, on the sampling thread; after the window went
    // away nothing else went over the lines.
    QCOMPARE(fake_->log.back(), LineOp::Close);
    if (last_sample < 0) {
        QCOMPARE(fake_->log.size(), log_at_action + 1);
        QVERIFY(!form || !form->isVisible());
        return;
    }
    // The window holds exactly the readings the loop took.
    const common::MeasurementState &state = form->document().state;
    QCOMPARE(state.last_sample, last_sample);
    QCOMPARE(state.samples[static_cast<std::size_t>(last_sample)], std::int16_t{255});
    QCOMPARE(state.samples[static_cast<std::size_t>(last_sample) + 1], std::int16_t{0});
    QCOMPARE(form->readings_taken(), last_sample + 1);
    QVERIFY(form->ui.Cmd_計測->isEnabled());
    QTRY_COMPARE(watcher.seen.size(), message ? 1 : 0);
}

QTEST_MAIN(TestMeasureCommand)
#include "tst_measure_command.moc"
