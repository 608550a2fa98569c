// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "bench_parts.h"

#include "acquisition/measurement.h"
#include "acquisition/qt_loop_host.h"
#include "common/measurement_plan.h"
#include "converter/converter.h"
#include "converter/simulated_converter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace bench {
namespace {

struct ScheduleRun {
    std::int32_t period_ms = 0;
    std::int32_t seconds = 0;
    std::int32_t last_sample = 0;     // N: the schedule asks for N + 1 readings
    std::vector<double> lateness_us;  // reading i >= 1 behind the moment its deadline tick began
    // The same, split by whether the deadline is a whole multiple of 4 ms: where a kernel ticking at
    // 250 Hz (Debian's kernels, and this machine's) takes its timer interrupt.
    std::vector<double> on_kernel_tick_us;
    std::vector<double> off_kernel_tick_us;
    std::int64_t readings = 0;           // readings actually taken
    std::int64_t early = 0;              // readings started before their deadline (never expected)
    std::int64_t behind_one_period = 0;  // readings that started a whole period or more late
    double cpu_share = 0;                // process CPU time over wall time, one core = 1
    bool finished = false;               // record_samples ran to its end
    std::int64_t spin_lead_ns = 0;       // the wait's spin lead at the end of the run
    acquisition::SleepTimer timer = acquisition::kBestSleepTimer;
};

const char *timer_name(acquisition::SleepTimer timer)
{
    switch (timer) {
    case acquisition::SleepTimer::Monotonic:
        return "clock_nanosleep on the monotonic clock";
    case acquisition::SleepTimer::HighResolution:
        return "high-resolution waitable timer";
    case acquisition::SleepTimer::Millisecond:
        return "waitable timer at 1 ms";
    case acquisition::SleepTimer::SleepCall:
        return "Sleep at 1 ms";
    case acquisition::SleepTimer::HostDelay:
        return "ntdll's delay under Wine";
    }
    return "";
}

// One measurement through record_samples on the simulated converter, the real tick counter and
// Qt's event pump: the lateness of every reading and the CPU the process used meanwhile.
// `last_sample_override` > 0 shortens the run (for the warm-up).
ScheduleRun run_schedule(std::int32_t period_ms, std::int32_t seconds, std::int32_t last_sample_override = 0)
{
    const common::SteadyClock clock;
    converter::SimulatedConverter simulated(clock);
    converter::LineConverter link(simulated);
    acquisition::QtLoopHost host(clock);
    common::MeasurementState state;

    link.open_port("simulated");
    common::start_measurement(state, static_cast<std::int16_t>(period_ms), static_cast<std::int16_t>(seconds));
    if (last_sample_override > 0)
        state.last_sample = last_sample_override;
    link.init_converter();

    ScheduleRun run;
    run.period_ms = period_ms;
    run.seconds = seconds;
    run.last_sample = state.last_sample;
    std::vector<std::int64_t> start_ns;
    start_ns.reserve(static_cast<std::size_t>(state.last_sample) + 2);
    auto read = [&] {
        start_ns.push_back(clock.now_ns());
        return link.read_converter(0);
    };

    const std::int64_t cpu_before = process_cpu_ns();
    const std::int64_t before_ns = clock.now_ns();
    run.finished = acquisition::record_samples(state, host, read);
    const std::int64_t after_ns = clock.now_ns();
    const std::int64_t cpu_after = process_cpu_ns();
    link.close_port();

    run.spin_lead_ns = host.spin_lead_ns();
    run.timer = host.sleep_timer();
    run.readings = static_cast<std::int64_t>(start_ns.size());
    run.cpu_share = static_cast<double>(cpu_after - cpu_before) / static_cast<double>(after_ns - before_ns);
    const std::int64_t start_tick = schedule_start_tick(before_ns, start_ns, period_ms);
    for (std::size_t i = 1; i < start_ns.size(); ++i) {
        const std::int64_t deadline_ns = (start_tick + static_cast<std::int64_t>(i) * period_ms) * 1'000'000;
        const std::int64_t late_ns = start_ns[i] - deadline_ns;
        run.lateness_us.push_back(static_cast<double>(late_ns) * 1e-3);
        (deadline_ns / 1'000'000 % 4 == 0 ? run.on_kernel_tick_us : run.off_kernel_tick_us)
            .push_back(static_cast<double>(late_ns) * 1e-3);
        if (late_ns < 0)
            ++run.early;
        if (late_ns >= static_cast<std::int64_t>(period_ms) * 1'000'000)
            ++run.behind_one_period;
    }
    return run;
}

}  // namespace

void run_schedule_bench(const Options &options)
{
    // A short run first, so that the measured runs do not pay for first-time page faults.
    run_schedule(1, 1, 200);

    struct Setting {
        std::int32_t period_ms;
        std::int32_t seconds;
        double cpu_target;  // share of one core; 0 = no target
        double p99_target_us;
        bool count_target;  // every reading taken, none repeated
    };
    const Setting settings[] = {
        {1, options.quick ? 1 : 3, 0.15, 50.0, true},
        {10, options.quick ? 1 : 3, 0.25, 1000.0, false},
        {100, options.quick ? 2 : 5, 0.05, 1000.0, false},
    };

    Table table("1. Schedule: lateness of each reading behind its deadline tick (simulated converter, real "
                "tick counter, Qt event pump)",
        {"period", "run", "readings / N+1", "median µs", "p99 µs", "max µs", "≥1 period late", "CPU of one core",
            "target", "result"});
    std::string leads;
    std::string timer;
    for (const Setting &setting : settings) {
        const ScheduleRun run = run_schedule(setting.period_ms, setting.seconds);
        const double p99 = percentile(run.lateness_us, 0.99);
        const bool count_right = run.finished && run.readings == run.last_sample + 1;
        std::string target = "p99 ≤ " + fixed(setting.p99_target_us, 0) + " µs";
        bool met = p99 <= setting.p99_target_us && run.early == 0;
        if (setting.cpu_target > 0) {
            target = "CPU ≤ " + fixed(setting.cpu_target * 100, 0) + " %, " + target;
            met = met && run.cpu_share <= setting.cpu_target;
        }
        if (setting.count_target) {
            target += ", count = N+1";
            met = met && count_right;
        }
        table.add_row({std::to_string(setting.period_ms) + " ms", std::to_string(setting.seconds) + " s",
            std::to_string(run.readings) + " / " + std::to_string(run.last_sample + 1),
            fixed(median(run.lateness_us), 1), fixed(p99, 1), fixed(maximum(run.lateness_us), 1),
            std::to_string(run.behind_one_period), fixed(run.cpu_share * 100, 1) + " %", target, verdict(met)});
        leads += (leads.empty() ? "" : ", ") + std::to_string(setting.period_ms)
            + " ms: " + fixed(static_cast<double>(run.spin_lead_ns) * 1e-3, 1) + " µs";
        timer = timer_name(run.timer);
        if (setting.period_ms == 1)
            table.add_note("1 ms: p99 of the readings due on a whole multiple of 4 ms (the timer interrupt of a "
                           "kernel at 250 Hz) "
                + fixed(percentile(run.on_kernel_tick_us, 0.99), 1) + " µs, of the others "
                + fixed(percentile(run.off_kernel_tick_us, 0.99), 1) + " µs.");
        if (run.early > 0)
            table.add_note("period " + std::to_string(setting.period_ms) + " ms: " + std::to_string(run.early)
                + " readings started before their deadline");
    }
    table.add_note("Lateness: the start of reading i (i ≥ 1) behind the moment the ms tick counter reached t0 + i x "
                   "period; it includes the final event pump after the wait.");
    table.add_note("CPU: process CPU time over the wall time of the whole recording, including the wait after the "
                   "last reading.");
    table.add_note("The wait blocks in the event pump until 2 ms before the deadline, sleeps on the " + timer
        + " until its spin lead before it and polls the rest; the lead at the end of each run: " + leads + ".");
    table.print();
}

}  // namespace bench
