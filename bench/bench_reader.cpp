// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "bench_parts.h"
#include "converter/pseudo_terminal.h"
#include "counting_lines.h"

#include "converter/converter.h"
#include "converter/real_port.h"
#include "converter/simulated_converter.h"

#include <cstdint>
#include <vector>

namespace bench {
namespace {

constexpr int kBatches = 5;

// Median over kBatches batches of the wall time of one read_converter on `link`, in ns. A tenth
// of a batch runs first as a warm-up.
double ns_per_reading(converter::LineConverter &link, int readings_per_batch)
{
    const common::SteadyClock clock;
    volatile std::int32_t sink = 0;
    for (int i = 0; i < readings_per_batch / 10; ++i)
        sink = sink + link.read_converter(0);
    std::vector<double> batch_ns;
    for (int batch = 0; batch < kBatches; ++batch) {
        const std::int64_t start = clock.now_ns();
        for (int i = 0; i < readings_per_batch; ++i)
            sink = sink + link.read_converter(0);
        batch_ns.push_back(static_cast<double>(clock.now_ns() - start) / readings_per_batch);
    }
    return median(batch_ns);
}

// Output changes and status queries of one reading on `lines`, counted over `readings` readings.
LineCounts counts_per_reading(converter::SerialLines &lines, const std::string &port_name, int readings)
{
    CountingLines counting(lines);
    converter::LineConverter link(counting);
    link.open_port(port_name);
    link.init_converter();
    const LineCounts before = counting.counts;
    for (int i = 0; i < readings; ++i)
        link.read_converter(0);
    LineCounts per_reading;
    per_reading.output_changes = (counting.counts.output_changes - before.output_changes) / readings;
    per_reading.status_queries = (counting.counts.status_queries - before.status_queries) / readings;
    link.close_port();
    return per_reading;
}

struct ReaderRow {
    std::string lines;
    LineCounts counts;
    double ns = 0;
    int readings = 0;
    std::string target;
    std::string result;
};

void add_row(Table &table, const ReaderRow &row)
{
    const std::uint64_t calls = row.counts.output_changes + row.counts.status_queries;
    table.add_row({row.lines, std::to_string(row.counts.output_changes), std::to_string(row.counts.status_queries),
        std::to_string(row.readings), fixed(row.ns, 0), fixed(calls > 0 ? row.ns / static_cast<double>(calls) : 0, 1),
        row.target, row.result});
}

}  // namespace

void run_reader_bench(const Options &options)
{
    const int fast_batch = options.quick ? 40'000 : 200'000;
    const int port_batch = options.quick ? 1'000 : 4'000;
    Table table("2. Cost of one read_converter",
        {"lines", "RTS/DTR ops", "status queries", "readings", "ns / reading", "ns / line call", "target", "result"});

    // The protocol alone, over lines that cost nothing: the cheapest reading (converter ready at
    // once, a non-zero value) and the dearest (never ready, 0 in both passes).
    struct FreeCase {
        const char *name;
        converter::ModemStatus answer;
    };
    const FreeCase free_cases[] = {
        {"free lines, ready at once, value 255", {true, false}},
        {"free lines, never ready, value 0", {false, true}},
    };
    for (const FreeCase &free_case : free_cases) {
        FixedAnswerLines lines(free_case.answer);
        converter::LineConverter link(lines);
        link.open_port("free");
        link.init_converter();
        const LineCounts before = lines.counts;
        ReaderRow row{
            free_case.name, {}, ns_per_reading(link, fast_batch), kBatches * fast_batch + fast_batch / 10, "", ""};
        const auto readings = static_cast<std::uint64_t>(row.readings);
        row.counts.output_changes = (lines.counts.output_changes - before.output_changes) / readings;
        row.counts.status_queries = (lines.counts.status_queries - before.status_queries) / readings;
        link.close_port();
        if (free_case.answer.cts) {
            row.target = "≤ 5 µs (protocol alone)";
            row.result = verdict(row.ns <= 5000);
        }
        add_row(table, row);
    }

    // The simulated converter on the real clock, as the program runs it with --simulate.
    {
        const common::SteadyClock clock;
        converter::SimulatedConverter simulated(clock);
        ReaderRow row{"simulated converter", counts_per_reading(simulated, "simulated", 1000), 0, kBatches * fast_batch,
            "≤ 5 µs", ""};
        converter::LineConverter link(simulated);
        link.open_port("simulated");
        link.init_converter();
        row.ns = ns_per_reading(link, fast_batch);
        link.close_port();
        row.result = verdict(row.ns <= 5000);
        add_row(table, row);
    }

    // The real port's system calls, on a pseudo-terminal whose modem-line ioctls all fail: every
    // status wait runs its 21 pulses and every reading is 255.
    {
        converter::PseudoTerminal terminal;
        converter::RealPortLines port;
        ReaderRow row{"real port on a pseudo-terminal", {}, 0, kBatches * port_batch, "", ""};
        if (!terminal.slave_name().empty()) {
            row.counts = counts_per_reading(port, terminal.slave_name(), 200);
            converter::LineConverter link(port);
            if (link.open_port(terminal.slave_name())) {
                link.init_converter();
                row.ns = ns_per_reading(link, port_batch);
            }
            link.close_port();
        }
        if (row.ns > 0)
            add_row(table, row);
        else
            table.add_note("No pseudo-terminal could be opened: the real port was not timed.");
    }

    table.add_note("ns / reading: median of " + std::to_string(kBatches)
        + " batches after a warm-up; line call = one RTS/DTR operation or status query.");
    table.add_note("On the pseudo-terminal every ioctl fails with ENOTTY, so the figure is the cost of the system calls"
                   " themselves; a real serial driver adds its own time per call.");
    table.print();
}

}  // namespace bench
