// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "bench_support.h"

#include "acquisition/schedule_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>
#include <utility>

#include <sys/utsname.h>

namespace bench {

std::int64_t process_cpu_ns()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::int64_t schedule_start_tick(
    std::int64_t before_ns, const std::vector<std::int64_t> &reading_start_ns, std::int32_t period_ms)
{
    const std::int64_t earliest = tick_ms(before_ns);
    if (reading_start_ns.empty())
        return earliest;
    auto consistent = [&](std::int64_t start_tick) {
        for (std::size_t i = 1; i < reading_start_ns.size(); ++i) {
            const std::int64_t deadline_ns = (start_tick + static_cast<std::int64_t>(i) * period_ms) * 1'000'000;
            if (reading_start_ns[i] < deadline_ns)
                return false;
        }
        return true;
    };
    for (std::int64_t tick = tick_ms(reading_start_ns.front()); tick > earliest; --tick) {
        if (consistent(tick))
            return tick;
    }
    return earliest;
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0.0;
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    const std::size_t index = std::clamp<std::size_t>(rank, 1, values.size()) - 1;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index), values.end());
    return values[index];
}

double median(std::vector<double> values) { return percentile(std::move(values), 0.5); }

double maximum(const std::vector<double> &values)
{
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

double root_mean_square(const std::vector<double> &values)
{
    if (values.empty())
        return 0.0;
    double sum = 0.0;
    for (double value : values)
        sum += value * value;
    return std::sqrt(sum / static_cast<double>(values.size()));
}

std::int32_t shortest_period_ms(const std::vector<double> &reading_ms)
{
    // The program's own rule, so that the benchmark names the period its message would name.
    std::vector<std::int64_t> reading_ns;
    reading_ns.reserve(reading_ms.size());
    for (double ms : reading_ms)
        reading_ns.push_back(std::llround(ms * 1e6));
    return acquisition::shortest_period_ms(reading_ns);
}

std::string fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string verdict(bool met) { return met ? "met" : "NOT MET"; }

Table::Table(std::string title, std::vector<std::string> headers)
    : title_(std::move(title)), headers_(std::move(headers))
{ }

void Table::add_row(std::vector<std::string> cells)
{
    cells.resize(headers_.size());
    rows_.push_back(std::move(cells));
}

void Table::add_note(std::string note) { notes_.push_back(std::move(note)); }

namespace {

// Width on a terminal: every UTF-8 sequence counts as one column, except the CJK and full-width
// ranges, which count as two.
std::size_t display_width(const std::string &text)
{
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        width += length == 3 && lead >= 0xE3 ? 2 : 1;
        i += length;
    }
    return width;
}

}  // namespace

void Table::print() const
{
    std::vector<std::size_t> widths(headers_.size(), 0);
    auto widen = [&](const std::vector<std::string> &cells) {
        for (std::size_t c = 0; c < cells.size(); ++c)
            widths[c] = std::max(widths[c], display_width(cells[c]));
    };
    widen(headers_);
    for (const auto &row : rows_)
        widen(row);

    auto print_row = [&](const std::vector<std::string> &cells) {
        std::string line;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const std::string padding(widths[c] - display_width(cells[c]), ' ');
            line += c == 0 ? "| " + cells[c] + padding : " | " + padding + cells[c];
        }
        std::cout << line << " |\n";
    };
    std::cout << "\n" << title_ << "\n\n";
    print_row(headers_);
    std::string rule;
    for (std::size_t c = 0; c < widths.size(); ++c)
        rule += (c == 0 ? "|-" : "-|-") + std::string(widths[c], '-');
    std::cout << rule << "-|\n";
    for (const auto &row : rows_)
        print_row(row);
    if (!notes_.empty())
        std::cout << "\n";
    for (const auto &note : notes_)
        std::cout << note << "\n";
    std::cout.flush();
}

std::string load_average()
{
    std::ifstream file("/proc/loadavg");
    double one = 0, five = 0, fifteen = 0;
    if (!(file >> one >> five >> fifteen))
        return "unknown";
    return fixed(one, 2) + ", " + fixed(five, 2) + ", " + fixed(fifteen, 2) + " (1, 5, 15 min)";
}

std::vector<std::string> machine_description()
{
    std::string model = "unknown";
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    }
    utsname system{};
    std::string kernel = "unknown";
    if (::uname(&system) == 0)
        kernel = std::string(system.sysname) + " " + system.release + " " + system.machine;
    return {"processor: " + model, "cores: " + std::to_string(std::thread::hardware_concurrency()), "kernel: " + kernel,
        "load average at the start: " + load_average()};
}

}  // namespace bench
