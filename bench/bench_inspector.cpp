// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "bench_parts.h"

#include "common/measurement_plan.h"
#include "graph_inspector.h"
#include "measurement_document.h"

#include <QCoreApplication>

#include <cstdint>

namespace bench {
namespace {

constexpr std::int16_t kDark = 20;
constexpr std::int16_t kLight = 230;

// 10 s at 1 ms with a hole every 25 readings: 398 sections.
void record_even_holes(common::MeasurementState &state)
{
    common::start_measurement(state, 1, 10);
    for (std::int32_t i = 0; i <= state.last_sample; ++i)
        state.samples[static_cast<std::size_t>(i)] = (i + 20) % 25 < 8 ? kLight : kDark;
    state.measured = true;
}

}  // namespace

void run_inspector_bench(const Options &options)
{
    const int repetitions = options.quick ? 20 : 100;
    MeasurementDocument document;
    record_even_holes(document.state);

    // Opening: the sections worked out, the plots filled and drawn once.
    std::vector<double> open_ms;
    std::int32_t sections = 0;
    for (int i = 0; i < std::max(5, repetitions / 10); ++i) {
        open_ms.push_back(time_each_ms(1, [&] {
            GraphInspector window(
                document, [] { return std::int16_t{1}; }, [] { return false; }, nullptr);
            window.show();
            QCoreApplication::processEvents();
            window.plot()->replot(QCustomPlot::rpImmediateRefresh);
            sections = static_cast<std::int32_t>(window.plot()->graph(1)->dataCount());
        }).front());
    }

    // A drag across the run: each move refits the range and draws the plots again.
    GraphInspector window(
        document, [] { return std::int16_t{1}; }, [] { return false; }, nullptr);
    window.show();
    QCoreApplication::processEvents();
    std::vector<double> move_ms;
    for (int i = 0; i < repetitions; ++i) {
        const double end = 0.5 + 9.0 * i / repetitions;
        move_ms.push_back(time_each_ms(1, [&] {
            window.choose_range({0.2, end});
            window.plot()->replot(QCustomPlot::rpImmediateRefresh);
        }).front());
    }

    Table table("3b. グラフを調べる on a 10 s recording at 1 ms (" + std::to_string(document.state.last_sample + 1)
            + " samples, " + std::to_string(sections) + " sections)",
        {"step", "median ms", "max ms", "target", "result"});
    table.add_row({"open: sections, fits, plots drawn", fixed(median(open_ms), 3), fixed(maximum(open_ms), 3),
        "≤ 100 ms", verdict(median(open_ms) <= 100.0)});
    table.add_row({"one move of a drag: refit and redraw", fixed(median(move_ms), 3), fixed(maximum(move_ms), 3),
        "≤ 5 ms", verdict(median(move_ms) <= 5.0)});
    table.add_note(std::to_string(repetitions) + " moves, the range from 0.2 s to 0.5..9.5 s, on a "
        + std::to_string(window.width()) + " x " + std::to_string(window.height()) + " window drawn off screen.");
    table.print();
}

}  // namespace bench
