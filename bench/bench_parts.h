#pragma once

// The four measurements of the benchmark, each printing its own table.

#include "bench_support.h"

namespace bench {

// Lateness of the readings behind their deadlines and the CPU used, at 1, 10 and 100 ms.
void run_schedule_bench(const Options &options);
// Line operations and time of one read_converter over free, simulated and real-port lines.
void run_reader_bench(const Options &options);
// Analysis, first drawing and one zoom redraw of a 10 s recording at 1 ms.
void run_graph_bench(const Options &options);
// Error of the fitted acceleration and initial velocity against simulated carts.
void run_accuracy_bench(const Options &options);

}  // namespace bench
