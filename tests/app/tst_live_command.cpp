// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The live view through the window: 実時間計測 sweeps the converter value across the picture until
// 中止 stops it.

#include "acquisition/live_view.h"
#include "converter/converter.h"
#include "converter/simulated_converter.h"
#include "fake_loop_host.h"
#include "form1.h"
#include "message_box_watcher.h"
#include "messages.h"
#include "picture_box.h"
#include "recording_lines.h"
#include "window_test_support.h"

#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <memory>

using converter::LineOp;
using test_support::FakeLoopHost;
using test_support::picture_is_blank;

namespace {

constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr std::int64_t kMs = 1'000'000;

}  // namespace

class TestLiveCommand : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void first_reading_is_a_pixel_at_the_left_edge();
    void sweep_restarts_after_332_points();
    void buttons_disabled_while_running();
    void second_press_starts_nothing();
    void stop_while_idle();
    void changed_period_takes_effect_at_next_deadline();
    void leaves_the_measurement_alone();
    void missing_port_does_not_start();
    void window_closed_during_a_run();
    void failed_lines_end_the_run();

private:
    // Starts a run at the current fake time; the run stops itself with 中止 at `stop_after_ms`.
    void run_until(double stop_after_ms);
    std::int64_t start_ns() const { return start_ns_; }
    // Presses 実時間計測 with the fake ready to answer the converter's preparation.
    void start_live()
    {
        test_support::answer_preparation(*fake_);
        QTest::mouseClick(form_->ui.Cmd_realtime, Qt::LeftButton);
    }

    std::unique_ptr<FakeLoopHost> host_;
    std::unique_ptr<converter::RecordingLines> fake_;
    std::unique_ptr<test_support::TestWindow> form_;
    std::int64_t start_ns_ = 0;
};

void TestLiveCommand::init()
{
    host_ = std::make_unique<FakeLoopHost>();
    fake_ = std::make_unique<converter::RecordingLines>();
    // A converter that is always ready and always delivers 255.
    fake_->idle_answer = converter::ModemStatus{true, false};
    form_ = test_support::show_form(*host_, *fake_);
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    start_ns_ = host_->fake_clock().now_ns();
}

void TestLiveCommand::cleanup() { form_.reset(); }

void TestLiveCommand::run_until(double stop_after_ms)
{
    host_->at_time_ns(start_ns_ + static_cast<std::int64_t>(stop_after_ms * kMs),
        [this] { QTest::mouseClick(form_->ui.Cmd_realstop, Qt::LeftButton); });
    start_live();
}

void TestLiveCommand::first_reading_is_a_pixel_at_the_left_edge()
{
    QImage after_first;
    host_->at_pump(1, [&] { after_first = form_->picture().image().copy(); });
    run_until(20);

    QCOMPARE(after_first.pixel(0, 36), kRed);
    QCOMPARE(after_first.pixel(1, 36), kWhite);
    QCOMPARE(after_first.pixel(2, 36), kWhite);
    // 中止 leaves a blank picture.
    QVERIFY(picture_is_blank(form_->picture()));
}

void TestLiveCommand::sweep_restarts_after_332_points()
{
    // Reading i is taken at t0 + i ms: x = 2i, so reading 331 (the 332nd) lies at x = 662, beyond
    // the 660-pixel picture, and reading 332 (the 333rd) clears the picture and starts at x = 0.
    QImage after_332;
    QImage after_333;
    host_->at_time_ns(start_ns() + 331 * kMs + kMs / 2, [&] { after_332 = form_->picture().image().copy(); });
    host_->at_time_ns(start_ns() + 332 * kMs + kMs / 2, [&] { after_333 = form_->picture().image().copy(); });
    run_until(340);

    QCOMPARE(after_332.pixel(0, 36), kRed);
    QCOMPARE(after_332.pixel(658, 36), kRed);
    QCOMPARE(after_333.pixel(0, 36), kRed);
    QCOMPARE(after_333.pixel(2, 36), kWhite);
    QCOMPARE(after_333.pixel(658, 36), kWhite);
}

void TestLiveCommand::buttons_disabled_while_running()
{
    QList<bool> during;
    host_->at_time_ns(start_ns() + 5 * kMs, [&] {
        for (QPushButton *button : {form_->ui.Cmd_計測, form_->ui.Cmd_graph, form_->ui.Cmd_最小2乗法, form_->ui.Cmd_end,
                 form_->ui.Cmd_realtime, form_->ui.Cmd_realstop})
            during << button->isEnabled();
    });
    run_until(10);
    QCOMPARE(during, (QList<bool>{false, false, false, false, true, true}));
    for (QPushButton *button : {form_->ui.Cmd_計測, form_->ui.Cmd_graph, form_->ui.Cmd_最小2乗法, form_->ui.Cmd_end})
        QVERIFY(button->isEnabled());
    QCOMPARE(fake_->log.back(), LineOp::Close);
}

void TestLiveCommand::second_press_starts_nothing()
{
    int loops_after_second_press = 0;
    host_->at_time_ns(start_ns() + 10 * kMs, [&] {
        start_live();
        loops_after_second_press = host_->active_loops();
    });
    std::size_t log_at_stop = 0;
    bool measure_enabled_at_stop = true;
    host_->at_time_ns(start_ns() + 20 * kMs + kMs / 2, [&] {
        QTest::mouseClick(form_->ui.Cmd_realstop, Qt::LeftButton);
        log_at_stop = fake_->log.size();
        // The run is still winding down: 計測 cannot start inside it yet.
        measure_enabled_at_stop = form_->ui.Cmd_計測->isEnabled();
    });
    start_live();

    // One run, one port opened; after 中止 no other reading, and the buttons come back at its end.
    QCOMPARE(loops_after_second_press, 1);
    QCOMPARE(std::count(fake_->log.begin(), fake_->log.end(), LineOp::Open), 1);
    QVERIFY(!measure_enabled_at_stop);
    QVERIFY(log_at_stop > 0);
    QCOMPARE(fake_->log.size(), log_at_stop);
    QCOMPARE(fake_->log.back(), LineOp::Close);
    QCOMPARE(host_->active_loops(), 0);
    QVERIFY(picture_is_blank(form_->picture()));
    for (QPushButton *button : {form_->ui.Cmd_計測, form_->ui.Cmd_graph, form_->ui.Cmd_最小2乗法, form_->ui.Cmd_end})
        QVERIFY(button->isEnabled());
}

void TestLiveCommand::stop_while_idle()
{
    QVERIFY(form_->link.open_port("COM1"));  // as a measurement leaves it
    form_->picture().set_pixel(100, 100, common::kBrightRed);
    form_->ui.Cmd_graph->setEnabled(false);

    QTest::mouseClick(form_->ui.Cmd_realstop, Qt::LeftButton);

    QCOMPARE(fake_->log.back(), LineOp::Close);
    QCOMPARE(form_->link.port_handle(), converter::kInvalidPort);
    QVERIFY(picture_is_blank(form_->picture()));
    QVERIFY(form_->ui.Cmd_graph->isEnabled());
}

void TestLiveCommand::changed_period_takes_effect_at_next_deadline()
{
    common::FakeClock &clock = host_->fake_clock();
    converter::SimulatedConverter simulated(clock);
    form_->link.use_lines(simulated);

    // Readings at 0..10 ms; the deadline of 11 ms is already set when the period becomes 5 ms,
    // so the next readings come at 11, 16 and 21 ms.
    host_->at_time_ns(start_ns() + 10 * kMs + kMs / 2, [this] { form_->ui.HScroll1->setValue(5); });
    std::uint64_t conversions_at_25 = 0;
    host_->at_time_ns(start_ns() + 25 * kMs + kMs / 2, [&] { conversions_at_25 = simulated.conversions(); });
    run_until(26);
    QCOMPARE(conversions_at_25, std::uint64_t{14});
    form_->link.use_lines(*fake_);
}

void TestLiveCommand::leaves_the_measurement_alone()
{
    form_->ui.HScroll1->setValue(100);
    test_support::answer_preparation(*fake_);
    QTest::mouseClick(form_->ui.Cmd_計測, Qt::LeftButton);
    form_->document().state.graphed = true;
    form_->document().state.fit_shown = true;
    form_->document().state.sect_velocity[3] = 42.0f;
    const common::MeasurementState before = form_->document().state;

    form_->ui.HScroll1->setValue(1);
    start_ns_ = host_->fake_clock().now_ns();
    run_until(50);

    const common::MeasurementState &after = form_->document().state;
    QVERIFY(after.samples == before.samples);
    QCOMPARE(after.last_sample, before.last_sample);
    QCOMPARE(after.measured, before.measured);
    QCOMPARE(after.graphed, before.graphed);
    QCOMPARE(after.fit_shown, before.fit_shown);
    QVERIFY(after.sect_velocity == before.sect_velocity);
    QVERIFY(after.sect_time == before.sect_time);
    QVERIFY(after.edge_index == before.edge_index);
}

void TestLiveCommand::missing_port_does_not_start()
{
    fake_->fail_open = true;
    form_->picture().set_pixel(100, 100, common::kBrightRed);
    test_support::MessageBoxWatcher watcher;
    start_live();

    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen[0].text,
        QStringLiteral("ポート %1 を開けません。接続を確認してください。").arg(test_support::com1_device()));
    // No run: the picture, the buttons and the lines are as they were.
    QCOMPARE(form_->picture().image().pixel(100, 100), kRed);
    for (QPushButton *button : {form_->ui.Cmd_計測, form_->ui.Cmd_graph, form_->ui.Cmd_最小2乗法, form_->ui.Cmd_end})
        QVERIFY(button->isEnabled());
    QCOMPARE(fake_->log, (std::vector<LineOp>{LineOp::Open}));
}

void TestLiveCommand::window_closed_during_a_run()
{
    std::size_t log_at_close = 0;
    QImage picture_at_close;
    host_->at_time_ns(start_ns() + 30 * kMs, [&] {
        form_->close();
        log_at_close = fake_->log.size();
        picture_at_close = form_->picture().image().copy();
    });
    start_live();

    // The loop ended without another reading, then the port was closed; nothing was drawn after.
    QVERIFY(log_at_close > 0);
    QCOMPARE(fake_->log.size(), log_at_close + 1);
    QCOMPARE(fake_->log.back(), LineOp::Close);
    QVERIFY(form_->picture().image() == picture_at_close);
    QVERIFY(!form_->isVisible());
    QCOMPARE(host_->active_loops(), 0);
}

void TestLiveCommand::failed_lines_end_the_run()
{
    host_->at_time_ns(start_ns() + 40 * kMs + kMs / 2, [this] { fake_->fail_lines = true; });
    test_support::MessageBoxWatcher watcher;
    start_live();

    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen[0].text, messages::port_lost(test_support::com1_device()));
    // The run ended after the failed reading: the port is closed and the trace is left as it was.
    QCOMPARE(fake_->log.back(), LineOp::Close);
    QCOMPARE(form_->link.port_handle(), converter::kInvalidPort);
    QCOMPARE(form_->picture().image().pixel(80, 36), kRed);
    QCOMPARE(form_->picture().image().pixel(90, 36), kWhite);
    for (QPushButton *button : {form_->ui.Cmd_計測, form_->ui.Cmd_graph, form_->ui.Cmd_最小2乗法, form_->ui.Cmd_end})
        QVERIFY(button->isEnabled());
    QCOMPARE(host_->active_loops(), 0);
}

QTEST_MAIN(TestLiveCommand)
#include "tst_live_command.moc"
