// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The board under simulation (its own firmware on simavr, the UART on a pseudo-terminal, kept to
// real time): readings lost at 1 ms, the program's processor time while it reads them, what is
// left of the error of a board whose clock runs 0.5 % fast once its correction is kept, and the
// accuracy of the whole chain on the board's readings beside the PC-timed ones.

#include "accuracy_run.h"
#include "bench_parts.h"

#include "acquisition/edge_stamps.h"
#include "acquisition/qt_loop_host.h"
#include "acquisition/streaming.h"
#include "common/clock.h"
#include "common/measurement_plan.h"
#include "converter/board_converter.h"
#include "converter/data_port.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <iostream>
#include <memory>
#include <vector>

namespace bench {
namespace {

#if defined(UNDOU_BOARD_SIM) && defined(UNDOU_BOARD_ELF)

// The simulated board with a cart of `motion` and a clock `clock_ppm` fast, and the program's side
// of its port, open and greeted.
struct SimulatedBoard {
    SimulatedBoard(const converter::CartMotion &motion, double clock_ppm)
        : host(clock),
          port(converter::make_data_port()),
          board(*port, clock, [this](std::int64_t until_ns) { host.wait_for_events(until_ns); }),
          session(board)
    {
        const QString link = folder.filePath(QStringLiteral("board"));
        sim.start(QStringLiteral(UNDOU_BOARD_SIM),
            {QStringLiteral("--elf"), QStringLiteral(UNDOU_BOARD_ELF), QStringLiteral("--link"), link,
                QStringLiteral("--v0"), QString::number(motion.v0_cm_s), QStringLiteral("--accel"),
                QString::number(motion.accel_cm_s2), QStringLiteral("--delay"), QString::number(motion.release_delay_s),
                QStringLiteral("--clock-ppm"), QString::number(clock_ppm), QStringLiteral("--eeprom"),
                folder.filePath(QStringLiteral("eeprom"))});
        for (int wait = 0; wait < 100 && !QFileInfo::exists(link); ++wait)
            QThread::msleep(50);
        ready = QFileInfo::exists(link) && !session.open(link.toStdString());
    }
    ~SimulatedBoard()
    {
        session.close();
        sim.terminate();
        sim.waitForFinished(5000);
    }

    common::SteadyClock clock;
    acquisition::QtLoopHost host;
    std::unique_ptr<converter::DataPort> port;
    converter::BoardConverter board;
    converter::ConverterSession session;
    QTemporaryDir folder;
    QProcess sim;
    bool ready = false;
};

struct BoardRun {
    acquisition::StreamResult result;
    std::vector<std::int16_t> samples;
    common::EdgeStamps stamps;  // the board's stamps of the edges, where it sent them
    std::vector<std::int64_t> arrival_ns;
    double cpu_share = 0;  // of one core, while it ran
};

BoardRun run_board(SimulatedBoard &sim, std::int32_t period_ms, std::int32_t count)
{
    BoardRun run;
    acquisition::StreamWatch watch;
    watch.reading = [&](std::int32_t, std::int16_t value) {
        run.samples.push_back(value);
        run.arrival_ns.push_back(sim.clock.now_ns());
    };
    run.stamps.stamped = sim.board.stamps_edges();
    acquisition::StampCollector stamps(run.stamps, sim.board.clock_correction_ppm());
    watch.edge = [&stamps](const converter::BoardEvent &edge) { stamps.take(edge.rising, edge.sequence, edge.value); };
    const std::int64_t wall_start = sim.clock.now_ns();
    const std::int64_t cpu_start = process_cpu_ns();
    run.result = acquisition::stream_readings(sim.host, sim.board, period_ms, count, watch);
    stamps.end(std::int64_t(run.samples.size() - 1) * period_ms * 1000);
    run.cpu_share
        = static_cast<double>(process_cpu_ns() - cpu_start) / static_cast<double>(sim.clock.now_ns() - wall_start);
    return run;
}

// How far the board's period is off the PC's clock, in ppm: the line through the lower edge of the
// arrivals (the least delay over the port in each second) against the readings' places.
double period_error_ppm(const BoardRun &run, std::int32_t period_ms)
{
    const std::size_t per_block = static_cast<std::size_t>(1000 / period_ms);
    std::vector<double> x;
    std::vector<double> y;
    for (std::size_t start = 0; start + per_block <= run.arrival_ns.size(); start += per_block) {
        std::size_t best = start;
        for (std::size_t k = start; k < start + per_block; ++k)
            if (run.arrival_ns[k] - static_cast<std::int64_t>(k) * period_ms * 1'000'000
                < run.arrival_ns[best] - static_cast<std::int64_t>(best) * period_ms * 1'000'000)
                best = k;
        x.push_back(static_cast<double>(best) * period_ms * 1e-3);
        y.push_back(static_cast<double>(run.arrival_ns[best] - run.arrival_ns[0]) * 1e-9);
    }
    double mx = 0, my = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        mx += x[i];
        my += y[i];
    }
    mx /= static_cast<double>(x.size());
    my /= static_cast<double>(y.size());
    double sxy = 0, sxx = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
    }
    return (sxy / sxx - 1) * 1e6;
}

#endif

}  // namespace

void run_board_bench(const Options &options)
{
#if defined(UNDOU_BOARD_SIM) && defined(UNDOU_BOARD_ELF)
    const converter::CartMotion cart{};
    {
        Table table(
            "7a. The board under simulation: 10 s at 1 ms (10001 readings)", {"measure", "value", "target", "result"});
        SimulatedBoard sim(cart, 0);
        if (!sim.ready) {
            std::cout << "\nthe simulated board did not answer\n";
            return;
        }
        const BoardRun run = run_board(sim, 1, 10001);
        const std::size_t lost = 10001 - run.samples.size();
        table.add_row({"readings lost", std::to_string(lost), "0",
            verdict(lost == 0 && run.result.end == acquisition::StreamEnd::Finished && !run.result.noise)});
        table.add_row({"the program's processor time while it reads", fixed(run.cpu_share * 100, 2) + " % of a core",
            "≤ 3 %", verdict(run.cpu_share <= 0.03)});
        table.add_row(
            {"the board's period against the PC's clock", fixed(period_error_ppm(run, 1), 0) + " ppm", "-", "-"});
        table.add_note("Lateness: none by construction; the board's timer counts 250 cycles of 16 MHz / 64 a "
                       "millisecond, exact at its nominal clock; its own error is its clock's (a resonator "
                       "±0.5 %, a crystal ±50 ppm) until the correction it keeps takes it out, to 1/250 000 of a "
                       "count a tick.");
        table.print();
    }
    {
        Table table("7b. A board whose clock runs 0.5 % fast: the correction measured and kept",
            {"step", "the board's period off the PC's clock", "kept correction", "target", "result"});
        SimulatedBoard sim(cart, 5000);
        if (!sim.ready)
            return;
        const BoardRun before = run_board(sim, 1, 10001);
        const double before_ppm = period_error_ppm(before, 1);
        // A run long enough to measure the clock: the program writes the correction at its end.
        const int calibration_s = options.quick ? 25 : 60;
        run_board(sim, 10, calibration_s * 100 + 1);
        sim.session.close();
        const bool again = !sim.session.open(sim.board.port_name());
        std::string kept = "none";
        if (again && sim.board.greeting() && sim.board.greeting()->correction)
            kept = std::to_string(*sim.board.greeting()->correction) + " ppm";
        const BoardRun after = run_board(sim, 1, 10001);
        const double after_ppm = period_error_ppm(after, 1);
        table.add_row({"before", fixed(before_ppm, 0) + " ppm", "none", "-", "-"});
        table.add_row({"after " + std::to_string(calibration_s) + " s at 10 ms", fixed(after_ppm, 0) + " ppm", kept,
            "within ±500 ppm (0.05 %)", verdict(kept != "none" && std::fabs(after_ppm) <= 500)});
        table.print();
    }
    {
        Table table("7c. The chain on the board's readings: 1 s on carts of the accuracy table",
            {"cart", "period", "points", "line's a off", "position fit's a off", "± SE", "with D8: line's a off",
                "position fit's a off", "± SE"});
        graph::Surface surface(660, 480);
        const std::vector<converter::CartMotion> carts = {{20, 60, 0.05}, {10, 30, 0.05}, {40, 80, 0.05}};
        for (const converter::CartMotion &motion : carts) {
            for (const std::int32_t period_ms : {1, 5, 10}) {
                SimulatedBoard sim(motion, 0);
                if (!sim.ready)
                    continue;
                const std::int32_t count = 1000 / period_ms + 1;
                const BoardRun run = run_board(sim, period_ms, count);
                Recording recording;
                recording.motion = motion;
                common::start_measurement(recording.state, static_cast<std::int16_t>(period_ms), 1);
                for (std::size_t k = 0; k < run.samples.size(); ++k) {
                    recording.state.samples[k] = run.samples[k];
                    // The board takes its first reading at its next millisecond tick after it was
                    // told to start (when the simulated cart starts), and each later one a period
                    // after the one before.
                    recording.sample_s.push_back(1e-3 + static_cast<double>(k) * period_ms * 1e-3);
                }
                const FitOutcome fit = analyse_recording(recording, 1, surface);
                // The same run again with the board's stamps of its edges.
                recording.state.stamps = run.stamps;
                const FitOutcome stamped = analyse_recording(recording, 1, surface);
                auto percent = [](bool fitted, double share, int decimals = 2) {
                    return fitted ? fixed(share * 100, decimals) + " %" : std::string("-");
                };
                table.add_row({fixed(motion.v0_cm_s, 0) + " cm/s, " + fixed(motion.accel_cm_s2, 0) + " cm/s²",
                    std::to_string(period_ms) + " ms", std::to_string(fit.points), percent(fit.fitted, fit.accel_error),
                    percent(fit.position_fitted, fit.position_accel_error),
                    percent(fit.position_fitted, fit.position_accel_se),
                    percent(stamped.fitted && !run.stamps.edges.empty(), stamped.accel_error, 3),
                    percent(stamped.position_fitted && !run.stamps.edges.empty(), stamped.position_accel_error, 3),
                    percent(stamped.position_fitted && !run.stamps.edges.empty(), stamped.position_accel_se, 3)});
            }
        }
        table.add_note("Beside the PC-timed rows of tables 4 and 4d (1 and 5 ms, one hole a section): the "
                       "board's readings are exactly one period apart. With D8: the same run with the edges that "
                       "the board's timer stamped on D8 as the simulated cart's light passed its thresholds.");
        table.print();
    }
#else
    (void)options;
    std::cout << "\nthe board part needs the simulated board (simavr and avr-gcc): not built\n";
#endif
}

}  // namespace bench
