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

// Spans of readings as "3-5 9-9".
QString spans_text(const std::vector<common::ReadingSpan> &spans)
{
    QStringList parts;
    for (const common::ReadingSpan &span : spans)
        parts << QStringLiteral("%1-%2").arg(span.first).arg(span.last);
    return parts.join(QLatin1Char(' '));
}

}  // namespace

Q_DECLARE_METATYPE(ScheduleMiss::Cause)

class TestScheduleCheck : public QObject {
    Q_OBJECT

private slots:
    void recording_data();
    void recording();
    void late_readings_data();
    void late_readings();
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
    QTest::addColumn<QString>("late");       // the late readings of a miss
    // A pause after reading 40 makes the readings from 41 on late until they have caught up: 4.01,
    // 3.02, 2.03 and 1.04 ms after a pause of 5 ms; readings of 1.2 ms at 1 ms fall 0.2 ms further
    // behind with each reading, a period behind from reading 5 on.

    const auto slow = ScheduleMiss::Cause::SlowReadings;
    const auto pause = ScheduleMiss::Cause::Pause;
    QTest::newRow("readings just under the period hold it")
        << 1 << 900 << 0 << false << false << slow << 0 << 0 << QString();
    QTest::newRow("readings a fifth over the period") << 1 << 1200 << 0 << false << true << slow << 2 << 0 << "5-1000";
    QTest::newRow("48 ms readings, as on a USB adapter, at 1 ms")
        << 1 << 48'000 << 0 << false << true << slow << 53 << 0 << "1-1000";
    QTest::newRow("18 ms readings at 20 ms hold it")
        << 20 << 18'000 << 0 << false << false << slow << 0 << 0 << QString();
    QTest::newRow("18 ms readings at 17 ms") << 17 << 18'000 << 0 << false << true << slow << 20 << 0 << "17-58";
    QTest::newRow("a 4 ms pause at hole edges") << 1 << 10 << 4 << true << true << pause << 1 << 0 << "41-43";
    QTest::newRow("a 4 ms pause on a dark stretch") << 1 << 10 << 4 << false << false << slow << 0 << 0 << QString();
    // Holes of five readings nearby: one like them could have passed unseen.
    QTest::newRow("a 5 ms pause on a dark stretch") << 1 << 10 << 5 << false << true << pause << 1 << 0 << "41-44";
    // The report tells a late wake-up of the sleeping thread from a pause in the program's own work.
    QTest::newRow("the system wakes the thread 4 ms late at hole edges")
        << 1 << 10 << 0 << true << true << pause << 1 << 4 << "41-44";
    QTest::newRow("a pause shorter than the period") << 10 << 10 << 9 << true << false << slow << 0 << 0 << QString();
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
    QFETCH(QString, late);

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
    QCOMPARE(spans_text(miss->late_readings), late);
    // The fake clock moves only by the readings' cost and the pause.
    QCOMPARE(miss->typical_reading_ms, reading_us / 1000.0);
    // A late wake-up is followed by the pump after the wait: a step of the fake clock more.
    const double held_ms = std::max(pause_ms, woken_late_ms) + (woken_late_ms > 0 ? 0.01 : 0.0);
    if (cause == ScheduleMiss::Cause::Pause)
        QVERIFY2(miss->worst_lateness_ms >= held_ms - 1 && miss->worst_lateness_ms <= held_ms,
            qPrintable(QString::number(miss->worst_lateness_ms)));
}

void TestScheduleCheck::late_readings_data()
{
    QTest::addColumn<int>("period_ms");
    QTest::addColumn<QList<qint64>>("lateness_ns");  // of readings 0.., as the loop entered them
    QTest::addColumn<int>("last_sample");
    QTest::addColumn<QString>("late");

    // A pause of 3.5 ms before reading 3: the readings after it catch up one by one.
    QTest::newRow("a pause over readings 3 to 5 is one span")
        << 1 << QList<qint64>{0, 0, 0, 3'500'000, 2'500'000, 1'500'000, 500'000, 0} << 7 << "3-5";
    QTest::newRow("exactly a period late counts") << 10 << QList<qint64>{0, 0, 10'000'000, 0} << 3 << "2-2";
    QTest::newRow("a nanosecond under a period does not") << 10 << QList<qint64>{0, 0, 9'999'999, 0} << 3 << "";
    QTest::newRow("two pauses are two spans")
        << 1 << QList<qint64>{0, 2'000'000, 1'000'000, 0, 0, 1'500'000, 0, 1'000'000} << 7 << "1-2 5-5 7-7";
    QTest::newRow("a late reading past N is none of the run's") << 1 << QList<qint64>{0, 0, 0, 5'000'000} << 2 << "";
    QTest::newRow("a late last reading") << 1 << QList<qint64>{0, 0, 0, 5'000'000} << 3 << "3-3";
}

void TestScheduleCheck::late_readings()
{
    QFETCH(int, period_ms);
    QFETCH(QList<qint64>, lateness_ns);
    QFETCH(int, last_sample);
    QFETCH(QString, late);

    acquisition::ScheduleRecord record;
    for (const qint64 lateness : lateness_ns) {
        record.lateness_ns.push_back(lateness);
        record.reading_ns.push_back(10'000);
    }
    QCOMPARE(spans_text(acquisition::late_readings(record, period_ms, last_sample)), late);
}

QTEST_GUILESS_MAIN(TestScheduleCheck)
#include "tst_schedule_check.moc"
