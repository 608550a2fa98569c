// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The position fit on a board's edge times: the readings of ideal recordings, with the stamps that
// the board's timer would give the strip's edges through a pin whose threshold and hysteresis
// stand off the readings' threshold as the simulated board's do, on a perfect strip and on holes
// punched up to 0.3 mm off.

#include "accuracy_run.h"
#include "bench_parts.h"

#include "converter/simulated_stamps.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace bench {
namespace {

constexpr std::int32_t kPeriodsMs[] = {1, 2, 5, 10};
constexpr double kReleaseDelayS = 0.05;

// Where the simulated board's D8 switches (2.6 V up, 2.2 V down, against the readings' 125 of
// 255 levels of 5 V) on the 0.05 cm ramp of light across an edge between levels 20 and 230.
constexpr double kLevelsPerVolt = 255.0 / 5.0;
const converter::StampPin kBoardPin{
    (2.6 * kLevelsPerVolt - 125) / 210 * 0.05, (125 - 2.2 * kLevelsPerVolt) / 210 * 0.05};

std::string percent(double share) { return fixed(share * 100, 3) + " %"; }

struct Errors {
    std::vector<double> accel;  // relative
    int within = 0;             // the truth within two standard errors
    int cases = 0;
    int no_fit = 0;
};

}  // namespace

void run_stamps_bench(const Options &options)
{
    graph::Surface surface(660, 480);
    const std::vector<double> v0s = options.quick ? std::vector<double>{20, 60} : std::vector<double>{0, 20, 40, 60};
    const std::vector<double> accels
        = options.quick ? std::vector<double>{60, 200} : std::vector<double>{20, 60, 100, 200};
    const int phases = options.quick ? 2 : 8;
    const int seeds = options.quick ? 2 : 4;

    Table table("7d. The position fit on the board's edge times (ideal recordings of 1 s, 1 hole a section)",
        {"period", "strip", "cases", "fit RMS a", "fit max a", "within 2 SE", "target", "result"});
    for (const bool uneven : {false, true}) {
        for (const std::int32_t period : kPeriodsMs) {
            Errors errors;
            for (const double v0 : v0s) {
                for (const double accel : accels) {
                    for (int phase = 0; phase < phases; ++phase) {
                        for (int seed = 1; seed <= (uneven ? seeds : 1); ++seed) {
                            converter::CartMotion motion{v0, accel, kReleaseDelayS + period * 1e-3 * phase / phases};
                            motion.hole_jitter_cm = uneven ? 0.03 : 0.0;
                            const auto noise_seed = static_cast<std::uint32_t>(seed * 100 + phase + 1);
                            Recording recording = record_ideal(motion, noise_seed, period, 0);
                            const converter::SimulatedCart cart(motion, noise_seed);
                            recording.state.stamps.stamped = true;
                            recording.state.stamps.edges = converter::simulated_stamps(cart, recording.sample_s.front(),
                                std::int64_t(recording.state.last_sample) * period * 1000, kBoardPin);
                            const FitOutcome outcome = analyse_recording(recording, 1, surface);
                            ++errors.cases;
                            if (!outcome.position_fitted) {
                                ++errors.no_fit;
                                continue;
                            }
                            errors.accel.push_back(outcome.position_accel_error);
                            if (std::fabs(outcome.position_accel_error) <= 2 * outcome.position_accel_se)
                                ++errors.within;
                        }
                    }
                }
            }
            const double rms = root_mean_square(errors.accel);
            double largest = 0;
            for (const double error : errors.accel)
                largest = std::max(largest, std::fabs(error));
            const double coverage
                = errors.accel.empty() ? 0.0 : errors.within / static_cast<double>(errors.accel.size());
            const bool met = errors.no_fit == 0 && (uneven ? coverage >= 0.93 && coverage <= 0.97 : rms <= 0.0005);
            table.add_row({std::to_string(period) + " ms", uneven ? "holes ±0.3 mm" : "perfect",
                std::to_string(errors.accel.size()) + "/" + std::to_string(errors.cases), percent(rms),
                percent(largest), errors.accel.empty() ? "-" : fixed(coverage * 100, 1) + " %",
                uneven ? "93–97 % within 2 SE" : "RMS ≤ 0.05 %", verdict(met)});
        }
    }
    table.add_note("Beside table 7c and the readings' own edges of table 4d: the edges are the timer's stamps, whole "
                   "counts of 4 µs, of a pin switching "
        + fixed(kBoardPin.rise_shift_cm * 1e4, 0) + " µm past a hole's leading edge and "
        + fixed(kBoardPin.fall_shift_cm * 1e4, 0) + " µm past its trailing edge; the readings check the stamps.");
    table.add_note("Carts: v0 " + std::to_string(v0s.size()) + " values x a " + std::to_string(accels.size())
        + " values x " + std::to_string(phases) + " release phases; the uneven strip in " + std::to_string(seeds)
        + " punchings, each hole up to 0.3 mm off its place.");
    table.print();
}

}  // namespace bench
