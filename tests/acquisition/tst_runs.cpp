// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// 計測 and 実時間計測 as runs of their own, without a window: how each one ends, what it leaves in
// the state, and whether it leaves the port open, on a fake tick counter.

#include "acquisition/runs.h"
#include "converter/board_converter.h"
#include "converter/converter.h"
#include "converter/simulated_converter.h"
#include "fake_board_port.h"
#include "fake_loop_host.h"
#include "fake_priority_system.h"
#include "recording_lines.h"

#include <QTest>

#include <cstdint>
#include <memory>

using test_support::FakeLoopHost;
using Kind = acquisition::MeasurementOutcome::Kind;
using LiveKind = acquisition::LiveOutcome::Kind;
using Fault = converter::SessionFault;

Q_DECLARE_METATYPE(acquisition::MeasurementOutcome::Kind)
Q_DECLARE_METATYPE(acquisition::LiveOutcome::Kind)
Q_DECLARE_METATYPE(test_support::BoardScript)
Q_DECLARE_METATYPE(std::optional<std::int32_t>)

namespace {

constexpr std::int64_t kStartNs = 1'000'000'000;

// What happens to the run, and when (ms after its start, on the fake clock).
enum class Event { None, Stop, LinesFail, Cancel };

// How the lines answer the converter's preparation.
enum class Preparation { Answers, DoesNotOpen, NeverReady, NoModemLines };

void prepare_lines(converter::RecordingLines &lines, Preparation preparation)
{
    // Once prepared, a converter that is always ready and always delivers 255.
    lines.idle_answer = converter::ModemStatus{true, false};
    lines.fail_open = preparation == Preparation::DoesNotOpen;
    lines.fail_lines = preparation == Preparation::NoModemLines;
    if (preparation == Preparation::NeverReady)
        lines.idle_answer = converter::ModemStatus{false, false};
    if (preparation == Preparation::Answers) {
        lines.answers.push_front(converter::ModemStatus{false, false});
        lines.answers.push_front(converter::ModemStatus{true, false});
    }
}

}  // namespace

Q_DECLARE_METATYPE(Event)
Q_DECLARE_METATYPE(Preparation)
Q_DECLARE_METATYPE(std::optional<converter::SessionFault>)

class TestRuns : public QObject {
    Q_OBJECT

private slots:
    void measurement_outcomes_data();
    void measurement_outcomes();
    void readings_slower_than_the_period_miss_the_schedule();
    void live_outcomes_data();
    void live_outcomes();
    void board_outcomes_data();
    void board_outcomes();
    void board_clock_data();
    void board_clock();
    void board_kept_open_data();
    void board_kept_open();
    void priority_data();
    void priority();
};

void TestRuns::measurement_outcomes_data()
{
    QTest::addColumn<Preparation>("preparation");
    QTest::addColumn<Event>("event");
    QTest::addColumn<int>("event_ms");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<std::optional<Fault>>("fault");
    QTest::addColumn<int>("last_sample");  // -1: the state was not started
    QTest::addColumn<int>("taken");        // readings taken
    QTest::addColumn<bool>("port_open");

    // 10 ms for 1 s: readings 0..100, reading i at i x 10 ms.
    QTest::newRow("every reading taken") << Preparation::Answers << Event::None << 0 << Kind::Finished
                                         << std::optional<Fault>{} << 100 << 101 << true;
    QTest::newRow("a port that does not open") << Preparation::DoesNotOpen << Event::None << 0 << Kind::NotStarted
                                               << std::optional<Fault>{Fault::CannotOpen} << -1 << 0 << false;
    QTest::newRow("a converter that never answers") << Preparation::NeverReady << Event::None << 0 << Kind::NotStarted
                                                    << std::optional<Fault>{Fault::Silent} << -1 << 0 << false;
    QTest::newRow("a port without modem lines") << Preparation::NoModemLines << Event::None << 0 << Kind::NotStarted
                                                << std::optional<Fault>{Fault::LinesLost} << -1 << 0 << false;
    // The stop and the failure come while the loop waits for 210 and 310 ms: the stop ends the run
    // before the reading, the failure after it. The window going away keeps the readings taken, and
    // N as planned.
    QTest::newRow("中止 200 ms in") << Preparation::Answers << Event::Stop << 200 << Kind::Stopped
                                    << std::optional<Fault>{} << 20 << 21 << true;
    QTest::newRow("the lines fail 300 ms in") << Preparation::Answers << Event::LinesFail << 300 << Kind::PortLost
                                              << std::optional<Fault>{} << 31 << 32 << false;
    QTest::newRow("the window going away 200 ms in") << Preparation::Answers << Event::Cancel << 200 << Kind::Cancelled
                                                     << std::optional<Fault>{} << 100 << 21 << false;
    // At the last wait, after reading 100: the readings are all taken.
    QTest::newRow("中止 after the last reading") << Preparation::Answers << Event::Stop << 1000 << Kind::Finished
                                                 << std::optional<Fault>{} << 100 << 101 << true;
}

void TestRuns::measurement_outcomes()
{
    QFETCH(Preparation, preparation);
    QFETCH(Event, event);
    QFETCH(int, event_ms);
    QFETCH(Kind, kind);
    QFETCH(std::optional<Fault>, fault);
    QFETCH(int, last_sample);
    QFETCH(int, taken);
    QFETCH(bool, port_open);

    FakeLoopHost host(kStartNs);
    converter::RecordingLines lines;
    prepare_lines(lines, preparation);
    converter::LineConverter link(lines);
    converter::ConverterSession session(link);
    acquisition::MeasurementRun run(host, session);
    auto state = std::make_unique<common::MeasurementState>();
    state->samples[0] = 77;
    if (event != Event::None)
        host.at_time_ns(kStartNs + event_ms * 1'000'000LL + 500'000, [&] {
            if (event == Event::Stop)
                run.stop();
            else if (event == Event::LinesFail)
                lines.fail_lines = true;
            else
                host.cancel_loops();
        });
    int prepared = 0;
    int started = 0;
    acquisition::MeasurementRun::Watch watch;
    watch.prepared = [&] { prepared += started + 1; };
    watch.started = [&] { started += 1; };
    const acquisition::MeasurementOutcome outcome = run.run(*state, "COM1", 10, 1, watch);

    QCOMPARE(outcome.kind, kind);
    QCOMPARE(outcome.fault, fault);
    QCOMPARE(link.port_handle() != converter::kInvalidPort, port_open);
    QCOMPARE(host.active_loops(), 0);
    if (last_sample < 0) {
        // Nothing was cleared or started: the last measurement stays.
        QCOMPARE(prepared + started, 0);
        QCOMPARE(state->samples[0], std::int16_t{77});
        QVERIFY(!state->measured);
        return;
    }
    // Prepared once, before the state was started.
    QCOMPARE(prepared, 1);
    QCOMPARE(started, 1);
    QCOMPARE(outcome.planned_last_sample, 100);
    QCOMPARE(state->last_sample, last_sample);
    QCOMPARE(state->samples[static_cast<std::size_t>(taken) - 1], std::int16_t{255});
    QCOMPARE(state->samples[static_cast<std::size_t>(taken)], std::int16_t{0});
    QCOMPARE(static_cast<int>(run.schedule().lateness_ns.size()), taken);
}

void TestRuns::readings_slower_than_the_period_miss_the_schedule()
{
    // Each line operation costs 300 µs: a reading takes longer than the 10 ms period.
    FakeLoopHost host(kStartNs);
    converter::SimulatedFaults faults;
    faults.line_cost_us = 300;
    converter::SimulatedConverter lines(host.fake_clock(), {}, 1, faults);
    lines.set_spend_time([&host](std::int64_t ns) { host.fake_clock().advance_ns(ns); });
    converter::LineConverter link(lines);
    converter::ConverterSession session(link);
    acquisition::MeasurementRun run(host, session);
    auto state = std::make_unique<common::MeasurementState>();
    const acquisition::MeasurementOutcome outcome = run.run(*state, "COM1", 10, 1);

    QCOMPARE(outcome.kind, Kind::ScheduleMissed);
    QVERIFY(outcome.miss);
    QCOMPARE(outcome.miss->cause, acquisition::ScheduleMiss::Cause::SlowReadings);
    QVERIFY(outcome.miss->shortest_period_ms > 10);
    QCOMPARE(state->last_sample, 100);
}

void TestRuns::live_outcomes_data()
{
    QTest::addColumn<Preparation>("preparation");
    QTest::addColumn<Event>("event");
    QTest::addColumn<LiveKind>("kind");
    QTest::addColumn<int>("readings");
    QTest::addColumn<bool>("port_open");
    QTest::addColumn<int>("stop_flag");

    // 10 ms: readings at 0, 10, ... 40 ms before the event at 45 ms.
    QTest::newRow("中止") << Preparation::Answers << Event::Stop << LiveKind::Stopped << 5 << true << 1;
    QTest::newRow("the lines fail") << Preparation::Answers << Event::LinesFail << LiveKind::PortLost << 6 << false
                                    << 1;
    QTest::newRow("the window going away")
        << Preparation::Answers << Event::Cancel << LiveKind::Cancelled << 5 << false << 0;
    QTest::newRow("a port that does not open")
        << Preparation::DoesNotOpen << Event::None << LiveKind::NotStarted << 0 << false << 0;
    QTest::newRow("a converter that never answers")
        << Preparation::NeverReady << Event::None << LiveKind::NotStarted << 0 << false << 0;
}

void TestRuns::live_outcomes()
{
    QFETCH(Preparation, preparation);
    QFETCH(Event, event);
    QFETCH(LiveKind, kind);
    QFETCH(int, readings);
    QFETCH(bool, port_open);
    QFETCH(int, stop_flag);

    FakeLoopHost host(kStartNs);
    converter::RecordingLines lines;
    prepare_lines(lines, preparation);
    converter::LineConverter link(lines);
    converter::ConverterSession session(link);
    acquisition::LiveRun run(host, session);
    // A stop left from before does not keep the next run from starting.
    run.stop();
    host.at_time_ns(kStartNs + 45'000'000, [&] {
        if (event == Event::Stop)
            run.stop();
        else if (event == Event::LinesFail)
            lines.fail_lines = true;
        else if (event == Event::Cancel)
            host.cancel_loops();
    });
    int shown = 0;
    int prepared = 0;
    const acquisition::LiveOutcome outcome = run.run(
        "COM1", [] { return 10; }, [&](std::int16_t) { ++shown; }, [&] { prepared += shown + 1; });

    QCOMPARE(outcome.kind, kind);
    QCOMPARE(outcome.fault.has_value(), kind == LiveKind::NotStarted);
    QCOMPARE(shown, readings);
    QCOMPARE(prepared, kind == LiveKind::NotStarted ? 0 : 1);
    QCOMPARE(link.port_handle() != converter::kInvalidPort, port_open);
    QCOMPARE(static_cast<int>(run.stop_requested), kind == LiveKind::NotStarted ? 1 : stop_flag);
    QCOMPARE(host.active_loops(), 0);
}

// A board behind the fake port on the fake clock, as the program has it: its session, and 計測 or
// 実時間計測 through it.
struct BoardRig {
    // Blocking, the clock leaps to the next poll; not, it creeps on by a quarter of a millisecond a
    // poll, so that arrivals are seen when they come.
    explicit BoardRig(const test_support::BoardScript &script, bool blocking = true)
        : port(host.fake_clock(), script),
          board(
              port, host.fake_clock(), [this](std::int64_t until_ns) { host.wait_for_events(until_ns); },
              [this] { return usb_ports; }),
          session(board),
          measurement(host, session),
          live(host, session)
    {
        host.set_blocking(blocking);
    }
    FakeLoopHost host{kStartNs};
    std::vector<std::string> usb_ports{"/dev/ttyACM0"};
    test_support::FakeBoardPort port;
    converter::BoardConverter board;
    converter::ConverterSession session;
    acquisition::MeasurementRun measurement;
    acquisition::LiveRun live;
};

void TestRuns::board_outcomes_data()
{
    QTest::addColumn<test_support::BoardScript>("script");
    QTest::addColumn<std::int16_t>("period_ms");
    QTest::addColumn<bool>("live");
    QTest::addColumn<Kind>("kind");  // for a live run: Finished stands for Stopped
    QTest::addColumn<int>("kept");   // readings kept (shown, for a live run), -1: not started
    QTest::addColumn<int>("first_missing");
    QTest::addColumn<bool>("noise");
    QTest::addColumn<Fault>("fault");

    using Script = test_support::BoardScript;
    const auto with = [](auto change) {
        Script script;
        change(script);
        return script;
    };
    // 1 s at 1 ms: readings 0..1000. A reading lost, spoilt or doubled on the line is named by the
    // first one missing, and nothing after it is taken.
    QTest::newRow("every reading") << Script{} << std::int16_t(1) << false << Kind::Finished << 1001 << 0 << false
                                   << Fault{};
    QTest::newRow("every reading at 1000 ms")
        << Script{} << std::int16_t(1000) << false << Kind::Finished << 2 << 0 << false << Fault{};
    QTest::newRow("first lost") << with([](Script &s) { s.drop = 0; }) << std::int16_t(1) << false << Kind::ReadingLost
                                << 0 << 0 << false << Fault{};
    QTest::newRow("one lost") << with([](Script &s) { s.drop = 500; }) << std::int16_t(1) << false << Kind::ReadingLost
                              << 500 << 500 << false << Fault{};
    QTest::newRow("last lost") << with([](Script &s) { s.drop = 1000; }) << std::int16_t(1) << false
                               << Kind::ReadingLost << 1000 << 1000 << false << Fault{};
    QTest::newRow("check byte spoilt") << with([](Script &s) { s.corrupt = 300; }) << std::int16_t(1) << false
                                       << Kind::ReadingLost << 300 << 300 << true << Fault{};
    QTest::newRow("value byte doubled") << with([](Script &s) { s.doubled = 100; }) << std::int16_t(1) << false
                                        << Kind::ReadingLost << 100 << 100 << true << Fault{};
    QTest::newRow("stray bytes, frames whole") << with([](Script &s) { s.stray = 200; }) << std::int16_t(1) << false
                                               << Kind::Finished << 1001 << 0 << true << Fault{};
    QTest::newRow("overflow") << with([](Script &s) { s.overflow_at = 700; }) << std::int16_t(1) << false
                              << Kind::BoardOverflow << 700 << 700 << false << Fault{};
    QTest::newRow("stops sending") << with([](Script &s) { s.silent_at = 400; }) << std::int16_t(1) << false
                                   << Kind::BoardSilent << 400 << 0 << false << Fault{};
    QTest::newRow("unplugged") << with([](Script &s) { s.unplug_at = 600; }) << std::int16_t(1) << false
                               << Kind::PortLost << 600 << 0 << false << Fault{};
    // A brown-out: the board restarts, its boot loader holds it 1 s, and it greets; the readings
    // and edges before are kept.
    QTest::newRow("restarts") << with([](Script &s) {
        s.greeting = "UNDOU-BOARD 2 2.0 -\n";
        s.boot_ms = 1000;
        s.restart_at = 400;
    }) << std::int16_t(1) << false
                              << Kind::BoardSilent << 400 << 0 << false << Fault{};
    QTest::newRow("layout 2: edges stamped")
        << with([](Script &s) { s.greeting = "UNDOU-BOARD 2 2.0 -\n"; }) << std::int16_t(1) << false << Kind::Finished
        << 1001 << 0 << false << Fault{};
    QTest::newRow("layout 2, a frame lost") << with([](Script &s) {
        s.greeting = "UNDOU-BOARD 2 2.0 -\n";
        s.drop = 500;
    }) << std::int16_t(1) << false << Kind::ReadingLost
                                            << 500 << 500 << false << Fault{};
    QTest::newRow("another firmware") << with([](Script &s) { s.greeting = "UNDOU-BOARD 1 0.9 -\n"; })
                                      << std::int16_t(1) << false << Kind::NotStarted << -1 << 0 << false
                                      << Fault::OtherFirmware;
    QTest::newRow("another layout") << with([](Script &s) { s.greeting = "UNDOU-BOARD 2 1.0 -\n"; }) << std::int16_t(1)
                                    << false << Kind::NotStarted << -1 << 0 << false << Fault::OtherFirmware;
    QTest::newRow("nothing answers") << with([](Script &s) { s.greeting.clear(); }) << std::int16_t(1) << false
                                     << Kind::NotStarted << -1 << 0 << false << Fault::NoBoard;
    // A converter's port, or another device, says something else all the time.
    QTest::newRow("chatter, no greeting") << with([](Script &s) {
        s.greeting.clear();
        static const char chatter[] = "U\xA5\x00\x00\x10\x00UNDOU-BOARD x\n";
        s.chatter = QByteArray(chatter, sizeof chatter - 1);
    }) << std::int16_t(1) << false << Kind::NotStarted
                                          << -1 << 0 << false << Fault::NoBoard;
    // The live view: 中止 after 2 s, the period changed from 1 to 5 ms after 1 s (from 2000 readings
    // less those the change passed over).
    QTest::newRow("live, period changed")
        << Script{} << std::int16_t(1) << true << Kind::Finished << 1200 << 0 << false << Fault{};
    QTest::newRow("live, lost") << with([](Script &s) { s.drop = 50; }) << std::int16_t(1) << true << Kind::ReadingLost
                                << 50 << 0 << false << Fault{};
    QTest::newRow("live, unplugged") << with([](Script &s) { s.unplug_at = 50; }) << std::int16_t(1) << true
                                     << Kind::PortLost << 50 << 0 << false << Fault{};
}

void TestRuns::board_outcomes()
{
    QFETCH(test_support::BoardScript, script);
    QFETCH(std::int16_t, period_ms);
    QFETCH(bool, live);
    QFETCH(Kind, kind);
    QFETCH(int, kept);
    QFETCH(int, first_missing);
    QFETCH(bool, noise);
    QFETCH(Fault, fault);
    BoardRig rig(script);
    if (live) {
        std::int32_t period = period_ms;
        rig.host.at_time_ns(kStartNs + 1'000'000'000, [&period] { period = 5; });
        rig.host.at_time_ns(kStartNs + 2'000'000'000, [&rig] { rig.live.stop(); });
        int shown = 0;
        const acquisition::LiveOutcome outcome = rig.live.run(
            "board", [&period] { return period; }, [&shown](std::int16_t) { ++shown; }, {});
        const LiveKind expected = kind == Kind::Finished ? LiveKind::Stopped
            : kind == Kind::ReadingLost                  ? LiveKind::ReadingLost
                                                         : LiveKind::PortLost;
        QCOMPARE(outcome.kind, expected);
        // A period change passes over the readings still on their way at the old period.
        QVERIFY2(std::abs(shown - kept) <= 10, qPrintable(QString::number(shown)));
        if (kind == Kind::Finished)
            QCOMPARE(rig.port.starts(), 2);
        return;
    }
    common::MeasurementState state;
    const std::int64_t before_ns = rig.host.fake_clock().now_ns();
    const acquisition::MeasurementOutcome outcome = rig.measurement.run(state, "board", period_ms, 1, {});
    QCOMPARE(outcome.kind, kind);
    if (kept < 0) {
        QCOMPARE(outcome.fault, std::optional<Fault>(fault));
        QVERIFY(!state.measured);
        // No answer within 3 s, the boot loader's wait included.
        QVERIFY(rig.host.fake_clock().now_ns() - before_ns <= 3'000'000'000);
        return;
    }
    QCOMPARE(state.measured, kept > 0);
    QCOMPARE(state.last_sample, std::max(kept - 1, 0));
    // A restart ends the run once its greeting is followed by no reading for 0.1 s, not after the
    // 2 s of silence: its boot loader at the opening, 0.4 s of readings, the boot loader again.
    if (script.restart_at >= 0)
        QVERIFY(rig.host.fake_clock().now_ns() - before_ns <= 2'550'000'000);
    QCOMPARE(outcome.first_missing, first_missing);
    QCOMPARE(outcome.noise, noise);
    // The readings are the board's, none filled in: reading k was k % 256.
    for (int k = 0; k < kept; ++k)
        QCOMPARE(state.samples[static_cast<std::size_t>(k)], std::int16_t(k % 256));
    // A board of layout 2 stamped an edge 0.5 ms after each reading: those within the readings are
    // kept.
    QCOMPARE(state.stamps.stamped, script.greeting.startsWith("UNDOU-BOARD 2"));
    if (state.stamps.stamped) {
        QCOMPARE(int(state.stamps.edges.size()), kept - 1);
        QCOMPARE(state.stamps.edges.back().time_us, (kept - 2) * period_ms * 1000 + 500);
    }
    // A fault closes the port; a finished run leaves it open for the next.
    QCOMPARE(rig.port.is_open(), kind == Kind::Finished);
}

void TestRuns::board_clock_data()
{
    QTest::addColumn<double>("clock_ppm");
    QTest::addColumn<std::optional<std::int32_t>>("kept");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<std::optional<std::int32_t>>("written");
    QTest::addColumn<int>("within");

    using Ppm = std::optional<std::int32_t>;
    // An Uno's resonator 0.5 % fast; 20 s of readings measure it to within 2 ms / 20 s = 100 ppm.
    QTest::newRow("resonator 0.5 % fast, 25 s") << 5000.0 << Ppm{} << 25 << Ppm{5000} << 90;
    QTest::newRow("resonator 0.5 % slow, 25 s") << -5000.0 << Ppm{} << 25 << Ppm{-5000} << 90;
    QTest::newRow("too short to tell, 18 s") << 5000.0 << Ppm{} << 18 << Ppm{} << 0;
    QTest::newRow("kept right: nothing written") << 5000.0 << Ppm{5000} << 60 << Ppm{} << 0;
    QTest::newRow("kept wrong: written again") << 5000.0 << Ppm{4000} << 60 << Ppm{5000} << 40;
    // A Nano's crystal, 50 ppm fast: a minute tells it to within 36 ppm.
    QTest::newRow("crystal 50 ppm, none kept") << 50.0 << Ppm{} << 60 << Ppm{50} << 36;
}

void TestRuns::board_clock()
{
    QFETCH(double, clock_ppm);
    QFETCH(std::optional<std::int32_t>, kept);
    QFETCH(int, seconds);
    QFETCH(std::optional<std::int32_t>, written);
    QFETCH(int, within);
    test_support::BoardScript script;
    script.clock_ppm = clock_ppm;
    BoardRig rig(script, false);
    if (kept)
        rig.port.keep_correction(*kept);
    common::MeasurementState state;
    const acquisition::MeasurementOutcome outcome
        = rig.measurement.run(state, "board", 10, static_cast<std::int16_t>(seconds), {});
    QCOMPARE(outcome.kind, Kind::Finished);
    QCOMPARE(rig.port.written_correction().has_value(), written.has_value());
    if (written)
        QVERIFY2(std::abs(*rig.port.written_correction() - *written) <= within,
            qPrintable(QString::number(*rig.port.written_correction())));
}

// What happens to the board between two 計測.
enum class Between { Nothing, PulledOut, PluggedInAgain, PluggedInAfterTheStart };
Q_DECLARE_METATYPE(Between)

void TestRuns::board_kept_open_data()
{
    QTest::addColumn<QString>("port");  // empty: looked for on the USB serial ports
    QTest::addColumn<int>("boot_ms");
    QTest::addColumn<Between>("between");
    QTest::addColumn<std::optional<Fault>>("fault");  // of the second 計測
    QTest::addColumn<int>("opens");
    QTest::addColumn<bool>("restarted");  // the second 計測 waited for the boot loader

    const std::optional<Fault> none;
    QTest::newRow("named, kept open") << "board" << 1500 << Between::Nothing << none << 1 << false;
    QTest::newRow("looked for, kept open") << "" << 1500 << Between::Nothing << none << 1 << false;
    QTest::newRow("named, pulled out") << "board" << 1500 << Between::PulledOut
                                       << std::optional<Fault>(Fault::CannotOpen) << 1 << false;
    QTest::newRow("looked for, pulled out")
        << "" << 1500 << Between::PulledOut << std::optional<Fault>(Fault::NoBoard) << 1 << false;
    QTest::newRow("named, plugged in again") << "board" << 1500 << Between::PluggedInAgain << none << 2 << true;
    QTest::newRow("looked for, plugged in after the start")
        << "" << 1500 << Between::PluggedInAfterTheStart << none << 1 << true;
    // The greeting is waited for 2.8 s, the boot loader's wait included.
    QTest::newRow("boot loader 2.75 s") << "board" << 2750 << Between::PluggedInAgain << none << 2 << true;
    QTest::newRow("boot loader 2.85 s") << "board" << 2850 << Between::PluggedInAgain
                                        << std::optional<Fault>(Fault::NoBoard) << 2 << true;
}

void TestRuns::board_kept_open()
{
    QFETCH(QString, port);
    QFETCH(int, boot_ms);
    QFETCH(Between, between);
    QFETCH(std::optional<Fault>, fault);
    QFETCH(int, opens);
    QFETCH(bool, restarted);
    test_support::BoardScript script;
    script.boot_ms = std::min(boot_ms, 1500);
    BoardRig rig(script);
    if (between == Between::PluggedInAfterTheStart)
        rig.usb_ports.clear();
    common::MeasurementState state;
    const acquisition::MeasurementOutcome first = rig.measurement.run(state, port.toStdString(), 1, 1, {});
    QCOMPARE(first.kind, between == Between::PluggedInAfterTheStart ? Kind::NotStarted : Kind::Finished);
    QCOMPARE(rig.board.ready(), first.kind == Kind::Finished);

    if (between == Between::PulledOut || between == Between::PluggedInAgain)
        rig.port.unplug();
    if (between == Between::PluggedInAgain)
        rig.port.plug_in(boot_ms);
    if (between == Between::PluggedInAfterTheStart)
        rig.usb_ports = {"/dev/ttyACM1"};
    rig.host.fake_clock().advance_ns(5'000'000'000);

    const std::int64_t click_ns = rig.host.fake_clock().now_ns();
    std::int64_t first_reading_ns = -1;
    acquisition::MeasurementRun::Watch watch;
    watch.reading_taken = [&](std::int32_t taken) {
        if (taken == 1)
            first_reading_ns = rig.host.fake_clock().now_ns();
    };
    const acquisition::MeasurementOutcome second = rig.measurement.run(state, port.toStdString(), 1, 1, watch);
    QCOMPARE(second.fault, fault);
    QCOMPARE(rig.port.opens(), opens);
    if (fault)
        return;
    QCOMPARE(second.kind, Kind::Finished);
    QCOMPARE(state.last_sample, 1000);
    // A board kept open gives its first reading at once; one just opened after its boot loader.
    const std::int64_t wait_ns = first_reading_ns - click_ns;
    if (restarted)
        QVERIFY2(wait_ns >= std::int64_t(boot_ms) * 1'000'000, qPrintable(QString::number(wait_ns)));
    else
        QVERIFY2(wait_ns <= 20'000'000, qPrintable(QString::number(wait_ns)));
}

void TestRuns::priority_data()
{
    QTest::addColumn<bool>("live");
    QTest::addColumn<Preparation>("preparation");
    QTest::addColumn<Event>("event");
    QTest::addColumn<QStringList>("refused");  // see FakePrioritySystem
    QTest::addColumn<int>("start_nice");
    QTest::addColumn<QString>("granted");
    QTest::addColumn<QStringList>("calls");          // asked and given back, in order
    QTest::addColumn<QList<qint64>>("spin_limits");  // -1: lifted

    const QStringList linux_only{"class", "audio"};
    const QStringList no_rtkit = linux_only + QStringList{"no-rtkit"};
    const QStringList fifo_calls{"class", "audio", "fifo 10", "normal policy"};
    const QList<qint64> bounded{50'000, -1};
    const QList<qint64> unbounded{-1, -1};
    QTest::newRow("RealtimeKit grants its policy")
        << false << Preparation::Answers << Event::None << linux_only << 0 << "SCHED_RR 10 (RealtimeKit)"
        << QStringList{"class", "audio", "rtkit 10", "normal policy"} << bounded;
    QTest::newRow("no RealtimeKit: SCHED_FIFO")
        << false << Preparation::Answers << Event::None << no_rtkit << 0 << "SCHED_FIFO 10" << fifo_calls << bounded;
    QTest::newRow("neither policy: nice")
        << false << Preparation::Answers << Event::None << linux_only + QStringList{"rtkit", "fifo"} << 5 << "nice -10"
        << QStringList{"class", "audio", "rtkit 10", "fifo 10", "nice -10", "nice back 5"} << unbounded;
    QTest::newRow("nice from RealtimeKit only")
        << false << Preparation::Answers << Event::None << linux_only + QStringList{"rtkit", "fifo", "nice"} << 0
        << "nice -10 (RealtimeKit)"
        << QStringList{"class", "audio", "rtkit 10", "fifo 10", "nice -10", "rtkit-nice -10", "nice back 0"}
        << unbounded;
    QTest::newRow("everything refused: the run as before")
        << false << Preparation::Answers << Event::None << no_rtkit + QStringList{"fifo", "nice"} << 0 << "なし"
        << QStringList{"class", "audio", "fifo 10", "nice -10"} << unbounded;
    QTest::newRow("started at nice -10 already: no nice asked")
        << false << Preparation::Answers << Event::None << no_rtkit + QStringList{"fifo"} << -10 << "なし"
        << QStringList{"class", "audio", "fifo 10"} << unbounded;
    QTest::newRow("Windows: the class and Pro Audio")
        << false << Preparation::Answers << Event::None << QStringList{} << 0 << "高い優先度クラス, Pro Audio"
        << QStringList{"class", "audio", "audio back", "class back"} << bounded;
    QTest::newRow("Windows: the class forbidden")
        << false << Preparation::Answers << Event::None << QStringList{"class"} << 0 << "Pro Audio"
        << QStringList{"class", "audio", "audio back"} << bounded;
    QTest::newRow("Windows: no multimedia scheduler")
        << false << Preparation::Answers << Event::None << QStringList{"audio"} << 0 << "高い優先度クラス"
        << QStringList{"class", "audio", "class back"} << unbounded;
    // Given back however the run ends; nothing asked for a run that does not start.
    QTest::newRow("中止") << false << Preparation::Answers << Event::Stop << no_rtkit << 0 << "SCHED_FIFO 10"
                          << fifo_calls << bounded;
    QTest::newRow("the lines fail") << false << Preparation::Answers << Event::LinesFail << no_rtkit << 0
                                    << "SCHED_FIFO 10" << fifo_calls << bounded;
    QTest::newRow("the window going away")
        << false << Preparation::Answers << Event::Cancel << no_rtkit << 0 << "SCHED_FIFO 10" << fifo_calls << bounded;
    QTest::newRow("a port that does not open") << false << Preparation::DoesNotOpen << Event::None << no_rtkit << 0
                                               << "なし" << QStringList{} << QList<qint64>{};
    // The live view polls briefly whatever its standing.
    QTest::newRow("live: 中止") << true << Preparation::Answers << Event::Stop << no_rtkit << 0 << "SCHED_FIFO 10"
                                << fifo_calls << QList<qint64>{20'000, -1};
    QTest::newRow("live: the lines fail")
        << true << Preparation::Answers << Event::LinesFail << no_rtkit + QStringList{"fifo"} << 0 << "nice -10"
        << QStringList{"class", "audio", "fifo 10", "nice -10", "nice back 0"} << QList<qint64>{20'000, -1};
    QTest::newRow("live: a converter that never answers") << true << Preparation::NeverReady << Event::None << no_rtkit
                                                          << 0 << "なし" << QStringList{} << QList<qint64>{};
}

void TestRuns::priority()
{
    QFETCH(bool, live);
    QFETCH(Preparation, preparation);
    QFETCH(Event, event);
    QFETCH(QStringList, refused);
    QFETCH(int, start_nice);
    QFETCH(QString, granted);
    QFETCH(QStringList, calls);
    QFETCH(QList<qint64>, spin_limits);

    FakeLoopHost host(kStartNs);
    test_support::FakePrioritySystem system(refused, start_nice);
    host.set_priority_system(&system);
    converter::RecordingLines lines;
    prepare_lines(lines, preparation);
    converter::LineConverter link(lines);
    converter::ConverterSession session(link);
    acquisition::MeasurementRun measurement(host, session);
    acquisition::LiveRun live_run(host, session);
    // Nothing is given back while the run goes on.
    QStringList calls_while_running;
    host.at_time_ns(kStartNs + 45'000'000, [&] {
        calls_while_running = system.calls;
        if (event == Event::Stop || (live && event == Event::None)) {
            measurement.stop();
            live_run.stop();
        } else if (event == Event::LinesFail) {
            lines.fail_lines = true;
        } else if (event == Event::Cancel) {
            host.cancel_loops();
        }
    });
    QString text;
    if (live) {
        live_run.run(
            "COM1", [] { return 10; }, [](std::int16_t) {});
        text = live_run.priority().text();
    } else {
        auto state = std::make_unique<common::MeasurementState>();
        measurement.run(*state, "COM1", 10, 1);
        text = measurement.priority().text();
    }

    QCOMPARE(text, granted);
    QCOMPARE(system.calls, calls);
    QStringList asked = calls;
    asked.removeIf([](const QString &call) { return call.contains(QLatin1String("back")) || call == "normal policy"; });
    if (preparation == Preparation::Answers)
        QCOMPARE(calls_while_running, asked);
    QList<qint64> limits;
    for (const std::int64_t limit : host.spin_limits())
        limits << (limit == acquisition::kNoSpinLimit ? -1 : limit);
    QCOMPARE(limits, spin_limits);
}

QTEST_GUILESS_MAIN(TestRuns)
#include "tst_runs.moc"
