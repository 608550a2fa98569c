// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The measurements of the benchmark, each printing its own table.

#include "bench_support.h"

#include <QString>

namespace bench {

// Lateness of the readings behind their deadlines and the CPU used, at 1, 10 and 100 ms.
void run_schedule_bench(const Options &options);
// Line operations and time of one read_converter over free, simulated and real-port lines.
void run_reader_bench(const Options &options);
// Time of one reading, reading by reading, on the simulated converter with a cost per line
// operation and on the port the user named, each with the chosen settle times. Prints nothing
// unless one of them was asked for. False when the named port could not be opened, its line
// operations failed, or no converter answered on it.
bool run_slow_lines_bench(const Options &options);
// Analysis, first drawing and one zoom redraw of a 10 s recording at 1 ms.
void run_graph_bench(const Options &options);
// グラフを調べる on the same recording: opening it, and one move of a drag across it.
void run_inspector_bench(const Options &options);
// Error of the fitted acceleration and initial velocity against simulated carts.
void run_accuracy_bench(const Options &options);
// The tape's pieces against the cart's own distance, at each period.
void run_tape_bench(const Options &options);
// The strip check and the position fit on bouncing sensors, torn and uneven strips and turning
// carts.
void run_lab_bench(const Options &options);
// Time and peak memory of opening files of up to 4 MiB, ours and others.
void run_file_bench(const Options &options);
// A lesson of 30 long runs: adding a run, keeping it, the lesson window, its file, its memory.
void run_lesson_bench(const Options &options);
// The lesson through killed programs; the worker it starts runs run_lesson_worker.
void run_lesson_crash_bench(const Options &options);
int run_lesson_worker(const QString &data_folder, quint32 seed);
void run_board_bench(const Options &options);
// The position fit on the board's edge times on ideal recordings, perfect and uneven strips.
void run_stamps_bench(const Options &options);
// Recordings at 1 ms beside busy processes, with and without the priority a run asks for.
void run_load_bench(const Options &options);

}  // namespace bench
