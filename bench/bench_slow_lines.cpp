// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "bench_parts.h"
#include "counting_lines.h"

#include "converter/converter.h"
#include "converter/real_port.h"
#include "converter/simulated_converter.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {
namespace {

// Each row times at least this many readings, and more up to its budget.
constexpr std::size_t kMinReadings = 20;

struct SlowRun {
    bool opened = false;
    bool answered = false;           // init_converter saw the converter ready, then busy
    std::uint64_t operations = 0;    // line operations and queries, the preparation included
    std::uint64_t failures = 0;      // failed ones among them
    LineCounts per_reading;          // of the readings alone
    std::vector<double> reading_ms;  // each reading's own wall time
    int lowest = 0;                  // the readings' values
    int highest = 0;
};

// Opens `name` on `lines` with the given settle time, prepares the converter and times readings
// one by one: at least kMinReadings, then more until `max_readings` or `budget_ms` of readings.
SlowRun time_readings(converter::SerialLines &lines, const std::string &name, std::int32_t settle_us,
    std::size_t max_readings, double budget_ms)
{
    SlowRun run;
    CountingLines counting(lines);
    converter::LineConverter link(counting);
    link.set_settle_us(settle_us);
    run.opened = link.open_port(name);
    if (run.opened) {
        run.answered = link.init_converter();
        const LineCounts before = counting.counts;
        const common::SteadyClock clock;
        double total_ms = 0;
        run.lowest = 255;
        run.highest = -255;
        while (run.reading_ms.size() < max_readings && (run.reading_ms.size() < kMinReadings || total_ms < budget_ms)) {
            const std::int64_t start = clock.now_ns();
            const int value = link.read_converter(0);
            const double ms = static_cast<double>(clock.now_ns() - start) * 1e-6;
            run.reading_ms.push_back(ms);
            total_ms += ms;
            run.lowest = std::min(run.lowest, value);
            run.highest = std::max(run.highest, value);
        }
        const auto readings = static_cast<std::uint64_t>(run.reading_ms.size());
        run.per_reading.output_changes = (counting.counts.output_changes - before.output_changes) / readings;
        run.per_reading.status_queries = (counting.counts.status_queries - before.status_queries) / readings;
        run.operations = counting.counts.output_changes + counting.counts.status_queries;
        run.failures = link.line_failures();
    }
    link.close_port();
    return run;
}

std::string converter_state(const SlowRun &run)
{
    if (!run.opened)
        return "port cannot be opened";
    if (run.failures > 0)
        return std::to_string(run.failures) + " of " + std::to_string(run.operations) + " line calls failed";
    return run.answered ? "answered" : "no answer";
}

void add_row(Table &table, const std::string &lines, std::int32_t settle_us, const SlowRun &run)
{
    if (!run.opened) {
        table.add_row({lines, std::to_string(settle_us), "", "", "0", "", "", "", "", "", converter_state(run)});
        return;
    }
    table.add_row({lines, std::to_string(settle_us), std::to_string(run.per_reading.output_changes),
        std::to_string(run.per_reading.status_queries), std::to_string(run.reading_ms.size()),
        fixed(median(run.reading_ms), 3), fixed(percentile(run.reading_ms, 0.99), 3), fixed(maximum(run.reading_ms), 3),
        std::to_string(shortest_period_ms(run.reading_ms)) + " ms",
        run.lowest == run.highest ? std::to_string(run.lowest)
                                  : std::to_string(run.lowest) + ".." + std::to_string(run.highest),
        converter_state(run)});
}

}  // namespace

bool run_slow_lines_bench(const Options &options)
{
    if (options.sim_line_us.empty() && options.port.empty() && options.settle_us.empty())
        return true;
    const std::vector<std::int32_t> settle_values
        = options.settle_us.empty() ? std::vector<std::int32_t>{0} : options.settle_us;
    const std::size_t max_readings = options.quick ? 50 : 300;
    const double budget_ms = options.quick ? 1500 : 5000;
    Table table("2b. One reading at a time on slow lines and on a named port",
        {"lines", "settle µs", "RTS/DTR ops", "status queries", "readings", "median ms", "p99 ms", "max ms",
            "shortest 計測周期", "values", "converter"});

    // The simulated converter with a cost per line operation, spent as real time. Only settle
    // times alone were asked for: the simulated converter without a cost.
    std::vector<std::int32_t> line_costs = options.sim_line_us;
    if (line_costs.empty() && options.port.empty())
        line_costs.push_back(0);
    for (std::int32_t line_us : line_costs) {
        for (std::int32_t settle_us : settle_values) {
            const common::SteadyClock clock;
            converter::SimulatedFaults faults;
            faults.line_cost_us = line_us;
            converter::SimulatedConverter simulated(clock, {}, 1, faults);
            const SlowRun run = time_readings(simulated, "simulated", settle_us, max_readings, budget_ms);
            add_row(table, "simulated, " + std::to_string(line_us) + " µs a line call", settle_us, run);
        }
    }

    // The port the user named, and no other.
    bool port_usable = true;
    if (!options.port.empty()) {
        converter::RealPortLines port;
        const std::string device = converter::device_name(options.port);
        const std::string shown = device == options.port ? device : options.port + " (" + device + ")";
        bool opened = true;
        bool failed = false;
        bool silent = false;
        for (std::int32_t settle_us : settle_values) {
            const SlowRun run = time_readings(port, options.port, settle_us, max_readings, budget_ms);
            add_row(table, "port " + shown, settle_us, run);
            opened = opened && run.opened;
            failed = failed || (run.opened && run.failures > 0);
            silent = silent || (run.opened && run.failures == 0 && !run.answered);
            if (!run.opened)
                break;
        }
        if (!opened)
            table.add_note("The port " + shown
                + " could not be opened: it does not exist, or another program holds"
                  " it. The program then says ポート … を開けません。");
        if (failed)
            table.add_note("Line calls failed on " + shown
                + ": the port has no modem-control lines (a"
                  " pseudo-terminal, a Bluetooth serial port) or went"
                  " away during the run. The program then says"
                  " ポート … との通信が途切れました。");
        if (silent)
            table.add_note("No converter answered on " + shown
                + ": its status (CTS) never went from ready to busy."
                  " Nothing is connected, the converter has no power,"
                  " or the adapter reports CTS as always on. The"
                  " program then says 変換器が応答しません。");
        port_usable = opened && !failed && !silent;
    }

    table.add_note("Each reading timed on its own with read_converter(0); RTS/DTR ops and status queries per reading.");
    table.add_note(
        "shortest 計測周期: the shortest period that readings of these times hold, by the program's own rule:"
        " a tenth above the p99, rounded up to a whole ms.");
    if (!line_costs.empty())
        table.add_note("The simulated line cost is a busy wait in every RTS, DTR and status call, and the simulated"
                       " cart moves on in real time meanwhile (values: the lowest and highest reading).");
    table.add_note("settle µs: a busy wait after each clock pulse (--settle-us of the program).");
    table.print();
    return port_usable;
}

}  // namespace bench
