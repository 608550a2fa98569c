// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The benchmark of the program: how well the sampling loop holds its schedule, what one converter
// reading costs, how long グラフ and a zoom take on the largest recording, and how accurately the
// whole chain finds a cart's acceleration. Prints one table per measurement with its target.
//
//   undou-bench [--quick] [--only schedule,reader,graph,accuracy,tape,lab,file,lesson,crash,board,load]
//               [--port NAME] [--sim-line-us US,...] [--settle-us US,...]

#include "bench_parts.h"

#include "graph/surface.h"

#include <QApplication>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

void print_usage(std::ostream &out)
{
    out << "Usage: undou-bench [--quick] [--only PARTS] [--port NAME] [--sim-line-us US,...] [--settle-us US,...]\n"
           "  --quick            shorter runs and a smaller accuracy grid (about 15 s instead of about 2 min)\n"
           "  --only PARTS       run only the named parts, separated by commas:\n"
           "                     schedule, reader, graph, accuracy, tape, lab, file, lesson, crash, board, load\n"
           "  --port NAME        reader part: also time readings on this serial port, where the converter\n"
           "                     should be connected (for example /dev/ttyUSB0 or COM3); no port is ever\n"
           "                     opened unless named here\n"
           "  --sim-line-us US   reader part: also time the simulated converter with each line operation\n"
           "                     costing US microseconds; several values separated by commas\n"
           "  --settle-us US     wait US microseconds after each clock pulse on those lines; several values\n"
           "                     separated by commas give one row each\n"
           "The exit status is 1 when the named port cannot be opened, its line operations fail or no\n"
           "converter answers on it.\n";
}

// Whole numbers from 0 to 100000 separated by commas.
bool read_microseconds(const std::string &text, std::vector<std::int32_t> &values)
{
    std::istringstream items(text);
    for (std::string item; std::getline(items, item, ',');) {
        std::size_t used = 0;
        long value = -1;
        try {
            value = std::stol(item, &used);
        } catch (const std::exception &) {
            return false;
        }
        if (used != item.size() || value < 0 || value > 100'000)
            return false;
        values.push_back(static_cast<std::int32_t>(value));
    }
    return !values.empty();
}

std::optional<bench::Options> parse_options(int argc, char *argv[])
{
    bench::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--quick") {
            options.quick = true;
        } else if (argument == "--only" && i + 1 < argc) {
            options.schedule = options.reader = options.graph = options.accuracy = options.tape = options.file
                = options.lab = options.lesson = options.crash = options.board = options.load = false;
            std::istringstream parts(argv[++i]);
            for (std::string part; std::getline(parts, part, ',');) {
                if (part == "schedule")
                    options.schedule = true;
                else if (part == "reader")
                    options.reader = true;
                else if (part == "graph")
                    options.graph = true;
                else if (part == "accuracy")
                    options.accuracy = true;
                else if (part == "tape")
                    options.tape = true;
                else if (part == "file")
                    options.file = true;
                else if (part == "lab")
                    options.lab = true;
                else if (part == "lesson")
                    options.lesson = true;
                else if (part == "crash")
                    options.crash = true;
                else if (part == "board")
                    options.board = true;
                else if (part == "load")
                    options.load = true;
                else
                    return std::nullopt;
            }
        } else if (argument == "--port" && i + 1 < argc && argv[i + 1][0] != '\0') {
            options.port = argv[++i];
        } else if (argument == "--sim-line-us" && i + 1 < argc) {
            if (!read_microseconds(argv[++i], options.sim_line_us))
                return std::nullopt;
        } else if (argument == "--settle-us" && i + 1 < argc) {
            if (!read_microseconds(argv[++i], options.settle_us))
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    // The slow lines and the named port are timed by the reader part only.
    const bool slow_lines = !options.port.empty() || !options.sim_line_us.empty() || !options.settle_us.empty();
    if (slow_lines && !options.reader)
        return std::nullopt;
    return options;
}

}  // namespace

int main(int argc, char *argv[])
{
    // The worker of the crash part, started by it and killed by it.
    if (argc == 4 && std::string(argv[1]) == "--lesson-worker") {
        QCoreApplication app(argc, argv);
        return bench::run_lesson_worker(QString::fromLocal8Bit(argv[2]), static_cast<quint32>(std::stoul(argv[3])));
    }
    const std::optional<bench::Options> options = parse_options(argc, argv);
    if (!options) {
        print_usage(std::cerr);
        return 2;
    }
    // Drawing needs a GUI application, but no display.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qt_argc = 1;
    QApplication app(qt_argc, argv);
    graph::install_font_substitutes();

    std::cout << "undou-bench";
    for (int i = 1; i < argc; ++i)
        std::cout << " " << argv[i];
    std::cout << "\n\n";
    for (const std::string &line : bench::machine_description())
        std::cout << line << "\n";
    std::cout.flush();

    if (options->schedule)
        bench::run_schedule_bench(*options);
    bool port_usable = true;
    if (options->reader) {
        bench::run_reader_bench(*options);
        port_usable = bench::run_slow_lines_bench(*options);
    }
    if (options->graph) {
        bench::run_graph_bench(*options);
        bench::run_inspector_bench(*options);
    }
    if (options->accuracy)
        bench::run_accuracy_bench(*options);
    if (options->tape)
        bench::run_tape_bench(*options);
    if (options->lab)
        bench::run_lab_bench(*options);
    if (options->file)
        bench::run_file_bench(*options);
    if (options->lesson)
        bench::run_lesson_bench(*options);
    if (options->crash)
        bench::run_lesson_crash_bench(*options);
    if (options->board) {
        bench::run_board_bench(*options);
        bench::run_stamps_bench(*options);
    }
    if (options->load)
        bench::run_load_bench(*options);

    std::cout << "\nload average at the end: " << bench::load_average() << "\n";
    return port_usable ? 0 : 1;
}
