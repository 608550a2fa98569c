// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// 計測 and 実時間計測 as runs of their own, without a window: how each one ends, what it leaves in
// the state, and whether it leaves the port open, on a fake tick counter.

#include "acquisition/runs.h"
#include "converter/converter.h"
#include "converter/simulated_converter.h"
#include "fake_loop_host.h"
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

QTEST_GUILESS_MAIN(TestRuns)
#include "tst_runs.moc"
