// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Whether a recording kept its schedule: recordings on a fake clock whose readings cost a given
// time, and pauses of the computer in the middle of them.

#include "acquisition/measurement.h"
#include "acquisition/schedule_check.h"
#include "common/measurement_plan.h"
#include "fake_loop_host.h"

#include <QTest>

#include <algorithm>

#include <memory>

using acquisition::ScheduleMiss;
using test_support::FakeLoopHost;

namespace {

constexpr std::int64_t kNsPerUs = 1'000;
constexpr std::int64_t kNsPerMs = 1'000'000;

}  // namespace

Q_DECLARE_METATYPE(ScheduleMiss::Cause)

class TestScheduleCheck : public QObject {
    Q_OBJECT

private slots:
    void recording_data();
    void recording();
};

void TestScheduleCheck::recording_data()
{
    QTest::addColumn<int>("period_ms");
    QTest::addColumn<int>("reading_us");  // what every reading costs on the fake clock
    QTest::addColumn<int>("pause_ms");    // a pause of the computer after reading 40 (0: none)
    QTest::addColumn<bool>("pause_lit");  // the readings around the pause see a hole (edges there)
    QTest::addColumn<bool>("missed");
    QTest::addColumn<ScheduleMiss::Cause>("cause");
    QTest::addColumn<int>("shortest_period_ms");
    QTest::addColumn<int>("woken_late_ms");  // the system wakes the thread this late before reading 41

    const auto slow = ScheduleMiss::Cause::SlowReadings;
    const auto pause = ScheduleMiss::Cause::Pause;
    QTest::newRow("readings just under the period hold it") << 1 << 900 << 0 << false << false << slow << 0 << 0;
    QTest::newRow("readings a fifth over the period") << 1 << 1200 << 0 << false << true << slow << 2 << 0;
    QTest::newRow("48 ms readings, as on a USB adapter, at 1 ms")
        << 1 << 48'000 << 0 << false << true << slow << 53 << 0;
    QTest::newRow("18 ms readings at 20 ms hold it") << 20 << 18'000 << 0 << false << false << slow << 0 << 0;
    QTest::newRow("18 ms readings at 17 ms") << 17 << 18'000 << 0 << false << true << slow << 20 << 0;
    QTest::newRow("a 4 ms pause at hole edges") << 1 << 10 << 4 << true << true << pause << 1 << 0;
    QTest::newRow("a 4 ms pause on a dark stretch") << 1 << 10 << 4 << false << false << slow << 0 << 0;
    // Holes of five readings nearby: one like them could have passed unseen.
    QTest::newRow("a 5 ms pause on a dark stretch") << 1 << 10 << 5 << false << true << pause << 1 << 0;
    // The report tells a late wake-up of the sleeping thread from a pause in the program's own work.
    QTest::newRow("the system wakes the thread 4 ms late at hole edges")
        << 1 << 10 << 0 << true << true << pause << 1 << 4;
    QTest::newRow("a pause shorter than the period") << 10 << 10 << 9 << true << false << slow << 0 << 0;
}

void TestScheduleCheck::recording()
{
    QFETCH(int, period_ms);
    QFETCH(int, reading_us);
    QFETCH(int, pause_ms);
    QFETCH(bool, pause_lit);
    QFETCH(bool, missed);
    QFETCH(ScheduleMiss::Cause, cause);
    QFETCH(int, shortest_period_ms);
    QFETCH(int, woken_late_ms);

    // A fine pump step, so that the loop itself adds next to nothing to the readings' cost.
    FakeLoopHost host(1'000'000'000, 10 * kNsPerUs);
    if (woken_late_ms > 0) {
        // Every wait ends in one quiet sleep: the 41st comes before reading 41.
        host.set_blocking(true);
        host.oversleep(41, woken_late_ms * kNsPerMs);
    }
    auto state = std::make_unique<common::MeasurementState>();
    common::start_measurement(*state, static_cast<std::int16_t>(period_ms), 1);
    std::int32_t index = 0;
    auto read = [&]() -> std::int16_t {
        const std::int32_t i = index++;
        host.fake_clock().advance_ns(reading_us * kNsPerUs);
        if (pause_ms > 0 && i == 40)
            host.fake_clock().advance_ns(pause_ms * kNsPerMs);
        // Dark, except for a hole over readings 38..41 (edge at 42) when the pause is to hit one,
        // and holes far from the pause otherwise (edges at 15 and 75).
        const bool lit = pause_lit ? (i >= 38 && i <= 41) : ((i >= 10 && i < 15) || (i >= 70 && i < 75));
        return lit ? std::int16_t{230} : std::int16_t{20};
    };
    acquisition::ScheduleRecord record;
    acquisition::RecordingWatch watch;
    watch.schedule = &record;
    QCOMPARE(acquisition::record_measurement(*state, host, read, watch), acquisition::RecordingEnd::Finished);
    QCOMPARE(record.lateness_ns.size(), static_cast<std::size_t>(state->last_sample + 1));

    const std::optional<ScheduleMiss> miss
        = acquisition::check_schedule(record, period_ms, state->samples, state->last_sample);
    QCOMPARE(miss.has_value(), missed);
    // The report says the same, and puts the reading after the pause first, on the calendar clock
    // of the moment it started.
    const std::string report = acquisition::schedule_report(
        record, period_ms, state->samples, state->last_sample, host.fake_clock().now_ns(), 1'000'000);
    const char *verdict = !missed             ? "verdict=held"
        : cause == ScheduleMiss::Cause::Pause ? "verdict=paused"
                                              : "verdict=slow";
    QVERIFY2(report.find(verdict) != std::string::npos, report.c_str());
    if (pause_ms >= period_ms || woken_late_ms > 0) {
        const std::int64_t at_ms = 1'000'000 - (host.fake_clock().now_ns() - record.started_ns[41]) / kNsPerMs;
        const std::size_t entry = report.find(" | late i=41 ");
        QVERIFY2(entry != std::string::npos && report.find("at_ms=" + std::to_string(at_ms)) != std::string::npos,
            report.c_str());
        const std::string woke = " woke_ms=" + std::to_string(woken_late_ms) + ".000 ";
        const std::size_t woke_at = report.find(" woke_ms=", entry);
        QVERIFY2(woke_at != std::string::npos && report.compare(woke_at, woke.size(), woke) == 0, report.c_str());
    }
    if (!miss)
        return;
    QCOMPARE(miss->cause, cause);
    QCOMPARE(miss->shortest_period_ms, shortest_period_ms);
    // The fake clock moves only by the readings' cost and the pause.
    QCOMPARE(miss->typical_reading_ms, reading_us / 1000.0);
    // A late wake-up is followed by the pump after the wait: a step of the fake clock more.
    const double held_ms = std::max(pause_ms, woken_late_ms) + (woken_late_ms > 0 ? 0.01 : 0.0);
    if (cause == ScheduleMiss::Cause::Pause)
        QVERIFY2(miss->worst_lateness_ms >= held_ms - 1 && miss->worst_lateness_ms <= held_ms,
            qPrintable(QString::number(miss->worst_lateness_ms)));
}

QTEST_GUILESS_MAIN(TestScheduleCheck)
#include "tst_schedule_check.moc"
