// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// What the rest of the machine did while the program recorded, so that a recording that came late
// can be told apart: late because the machine took the processor (the hypervisor stole time, or
// the program, its display server or Wine's server stood ready to run without a processor), or late
// for a reason of the program's own. The program says how each recording kept its schedule in a
// line of the file UNDOU_SCHEDULE_LOG names; the watch samples /proc meanwhile.

#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

namespace e2e {

// A line of the program's schedule log.
struct ScheduleReport {
    struct LateReading {
        std::int32_t index = 0;
        double late_ms = 0;
        double woken_late_ms = 0;  // the system woke the sleeping program this late past the deadline
        bool at_edge = false;
        qint64 at_ms = 0;  // when it started, in ms since 1970
    };
    std::int32_t period_ms = 0;
    std::int32_t readings = 0;
    QString verdict;  // held, paused or slow
    double worst_late_ms = 0;
    std::vector<LateReading> late;  // half a period late or more, latest first
};
std::optional<ScheduleReport> parse_schedule_report(const QString &line);

// What the machine did over a stretch of time.
struct MachineFigures {
    double stolen_ms = 0;  // the hypervisor ran something else on this machine's processors
    double idle_ms = 0;    // processors idle, summed over all of them
    double span_ms = 0;    // the stretch the figures cover
    // The program, its display server and Wine's server stood ready to run without a processor,
    // summed over their threads.
    double waited_ms = 0;
    // Wine's server ran or stood ready to run: the program waits for it on every call.
    double server_ms = 0;
    // The program itself ran, and the display server ran: a late reading with neither the machine
    // nor Wine behind it was held up by the program's own work, or by drawing.
    double program_ran_ms = 0;
    double display_ran_ms = 0;
    QString describe() const;
};

class MachineWatch {
public:
    // Samples at once, every few milliseconds, until it is destroyed.
    MachineWatch();
    ~MachineWatch();
    MachineWatch(const MachineWatch &) = delete;
    MachineWatch &operator=(const MachineWatch &) = delete;

    // Watches process `pid` and its children besides the display server and Wine's server.
    void watch_process(qint64 pid);
    // The figures from the last sample at or before `from_ms` to the first at or after `to_ms` (ms
    // since 1970); nothing when the samples do not cover that stretch.
    std::optional<MachineFigures> figures(qint64 from_ms, qint64 to_ms) const;

private:
    struct Sample {
        qint64 at_ms = 0;
        std::uint64_t steal_ticks = 0;
        std::uint64_t idle_ticks = 0;
        // Running totals over every thread seen.
        std::uint64_t waited_ns = 0;
        std::uint64_t server_ns = 0;
        std::uint64_t program_ran_ns = 0;
        std::uint64_t display_ran_ns = 0;
    };
    enum class Kind { Program, Display, WineServer };
    void run();
    Sample sample();

    mutable std::mutex mutex_;
    std::vector<Sample> samples_;
    std::set<qint64> roots_;
    std::atomic<bool> stop_{false};
    // Per thread: the last run-queue wait and run time seen, for the totals.
    struct ThreadTimes {
        std::uint64_t ran_ns = 0;
        std::uint64_t waited_ns = 0;
    };
    std::vector<std::pair<qint64, ThreadTimes>> threads_;
    Sample totals_;
    std::thread thread_;
};

// How a recording that came late was disturbed, judged by what the machine did around each of its
// late readings: by the machine when it stole time there, when the watched processes stood ready
// to run without a processor (or Wine's server was busy) for half the lateness or more, or when
// the system woke the sleeping program half the lateness or more past the moment it asked for:
// the kernel counts stolen time in steps of 10 ms, and a few milliseconds the hypervisor held a
// sleeping processor show there only now and then.
struct Disturbance {
    bool by_machine = false;
    QString figures;  // the machine's figures around the latest reading
};
Disturbance judge_disturbance(const ScheduleReport &report, const MachineWatch &watch);

}  // namespace e2e
