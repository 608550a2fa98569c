// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// What every part of the benchmark shares: its options, time and CPU readings, simple statistics
// and the plain-text tables it prints.

#include "common/clock.h"

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct Options {
    bool quick = false;  // shorter runs and a smaller grid, for a first look
    bool schedule = true;
    bool reader = true;
    bool graph = true;
    bool accuracy = true;
    bool tape = true;
    bool file = true;
    bool lab = true;
    bool lesson = true;
    bool crash = true;  // the lesson through killed programs
    bool board = true;  // where the simulated board is built
    bool load = true;
    // The reader part on slow lines: the simulated converter at each of these costs per line
    // operation (µs), and the port named here. Never a port that the user did not name.
    std::vector<std::int32_t> sim_line_us;
    std::string port;
    // Waits after each clock pulse (µs) to time the slow lines and the named port with; {0} unless given.
    std::vector<std::int32_t> settle_us;
};

// CPU time used by the whole process so far, in ns.
std::int64_t process_cpu_ns();

// The millisecond tick (64 bits, without the 32-bit wrap) that a monotonic time in ns falls in.
inline std::int64_t tick_ms(std::int64_t monotonic_ns) { return monotonic_ns / 1'000'000; }

// The moment the schedule's first deadline was taken from, as a 64-bit tick in ms. The schedule
// reads the tick counter after `before_ns` and before the first reading starts at `first_start_ns`;
// when the counter moved on in between, the later tick is taken unless a later reading would then
// have started before its deadline, which the schedule never allows.
std::int64_t schedule_start_tick(
    std::int64_t before_ns, const std::vector<std::int64_t> &reading_start_ns, std::int32_t period_ms);

// Statistics of a sample of values; all return 0 for an empty sample.
double percentile(std::vector<double> values, double fraction);  // nearest rank, fraction 0..1
double median(std::vector<double> values);
double maximum(const std::vector<double> &values);
double root_mean_square(const std::vector<double> &values);

// The shortest sampling period from 1 to 1000 ms that readings taking `reading_ms` would hold, by
// the rule of the program's own schedule check: a tenth above the 99th percentile of the reading
// times, rounded up to a whole millisecond. 1000 when even that does not hold.
std::int32_t shortest_period_ms(const std::vector<double> &reading_ms);

// A number with a fixed count of decimals.
std::string fixed(double value, int decimals);
std::string verdict(bool met);

// A table printed with columns padded to their widest entry: the first column left-aligned, the
// others right-aligned.
class Table {
public:
    Table(std::string title, std::vector<std::string> headers);
    void add_row(std::vector<std::string> cells);
    void add_note(std::string note);
    void print() const;

private:
    std::string title_;
    std::vector<std::string> headers_;
    std::vector<std::vector<std::string>> rows_;
    std::vector<std::string> notes_;
};

// Runs `action` `repetitions` times and returns the wall time of each run in ms.
template <typename Action> std::vector<double> time_each_ms(int repetitions, Action action)
{
    const common::SteadyClock clock;
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(repetitions));
    for (int i = 0; i < repetitions; ++i) {
        const std::int64_t start = clock.now_ns();
        action();
        times.push_back(static_cast<double>(clock.now_ns() - start) * 1e-6);
    }
    return times;
}

// The machine: processor model, cores, kernel and the load average, one line each.
std::vector<std::string> machine_description();
std::string load_average();

}  // namespace bench
