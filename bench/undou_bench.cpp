// The benchmark of the program: how well the sampling loop holds its schedule, what one converter
// reading costs, how long グラフ and a zoom take on the largest recording, and how accurately the
// whole chain finds a cart's acceleration. Prints one table per measurement with its target.
//
//   undou-bench [--quick] [--only schedule,reader,graph,accuracy]

#include "bench_parts.h"

#include "graph/surface.h"

#include <QGuiApplication>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <sstream>

namespace {

void print_usage(std::ostream &out)
{
    out << "Usage: undou-bench [--quick] [--only PARTS]\n"
           "  --quick       shorter runs and a smaller accuracy grid (about 15 s instead of about 2 min)\n"
           "  --only PARTS  run only the named parts, separated by commas:\n"
           "                schedule, reader, graph, accuracy\n";
}

std::optional<bench::Options> parse_options(int argc, char *argv[])
{
    bench::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--quick") {
            options.quick = true;
        } else if (argument == "--only" && i + 1 < argc) {
            options.schedule = options.reader = options.graph = options.accuracy = false;
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
                else
                    return std::nullopt;
            }
        } else {
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace

int main(int argc, char *argv[])
{
    const std::optional<bench::Options> options = parse_options(argc, argv);
    if (!options) {
        print_usage(std::cerr);
        return 2;
    }
    // Drawing needs a GUI application, but no display.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qt_argc = 1;
    QGuiApplication app(qt_argc, argv);
    graph::install_font_substitutes();

    std::cout << "undou-bench" << (options->quick ? " --quick" : "") << "\n\n";
    for (const std::string &line : bench::machine_description())
        std::cout << line << "\n";
    std::cout.flush();

    if (options->schedule)
        bench::run_schedule_bench(*options);
    if (options->reader)
        bench::run_reader_bench(*options);
    if (options->graph)
        bench::run_graph_bench(*options);
    if (options->accuracy)
        bench::run_accuracy_bench(*options);

    std::cout << "\nload average at the end: " << bench::load_average() << "\n";
    return 0;
}
