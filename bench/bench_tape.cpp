// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The tape: each piece's length against the distance the simulated cart really covered in the
// piece's time, at each period, beside a cut by a straight line between the two edges around it.

#include "accuracy_run.h"
#include "analysis/sections.h"
#include "analysis/strip_check.h"
#include "analysis/tape.h"
#include "bench_parts.h"

#include <algorithm>
#include <cmath>
#include <iostream>

namespace bench {
namespace {

constexpr std::int32_t kPeriodsMs[] = {1, 2, 5, 10};
constexpr double kReleaseDelayS = 0.05;
constexpr double kPieceS = 0.1;

// Where a straight line between the falling edges around time t puts the strip, in cm.
std::optional<double> between_two_edges(const analysis::StripAnalysis &strip, double t)
{
    const std::vector<analysis::StripHole> &holes = strip.check.holes;
    const double origin = strip.pulses.front().falling;
    for (std::size_t h = 1; h < holes.size(); ++h) {
        const double t0 = (holes[h - 1].falling - origin) / strip.sample_rate;
        const double t1 = (holes[h].falling - origin) / strip.sample_rate;
        if (t >= t0 && t <= t1 && t1 > t0) {
            const double x0 = holes[h - 1].pitch * common::kHolePitchCm;
            const double x1 = holes[h].pitch * common::kHolePitchCm;
            return x0 + (x1 - x0) * (t - t0) / (t1 - t0);
        }
    }
    return std::nullopt;
}

struct Errors {
    std::vector<double> fitted_mm;
    std::vector<double> straight_mm;
    std::vector<double> slope;  // relative
    int over_limit = 0;         // pieces off by more than 0.2 mm
    int lost = 0;               // recordings where a hole passed between two readings
};

double rms(const std::vector<double> &values)
{
    double sum = 0;
    for (const double value : values)
        sum += value * value;
    return values.empty() ? 0 : std::sqrt(sum / static_cast<double>(values.size()));
}

double largest(const std::vector<double> &values)
{
    double most = 0;
    for (const double value : values)
        most = std::max(most, std::fabs(value));
    return most;
}

}  // namespace

void run_tape_bench(const Options &options)
{
    const std::vector<double> v0s = options.quick ? std::vector<double>{20} : std::vector<double>{0, 20, 40};
    const std::vector<double> accels = options.quick ? std::vector<double>{60} : std::vector<double>{20, 60, 100};
    const int phases = options.quick ? 2 : 8;
    graph::Surface surface(660, 480);
    Table table("4g. The tape: pieces of 0.1 s against the cart's own distance (ideal recordings of 1 s, 1 hole a "
                "section; v0 "
            + std::to_string(v0s.size()) + " and a " + std::to_string(accels.size()) + " values, "
            + std::to_string(phases) + " phases)",
        {"period", "recordings left out", "pieces", "RMS (mm)", "max (mm)", "over 0.2 mm", "two edges: RMS (mm)",
            "two edges: max (mm)", "line's slope: RMS", "max"});
    for (const std::int32_t period : kPeriodsMs) {
        Errors errors;
        for (const double v0 : v0s) {
            for (const double accel : accels) {
                for (int phase = 0; phase < phases; ++phase) {
                    const converter::CartMotion motion{v0, accel, kReleaseDelayS + period * 1e-3 * phase / phases};
                    Recording recording = record_ideal(motion, static_cast<std::uint32_t>(phase + 1), period, 0);
                    // As in table 4, a recording where holes passed unseen measures no timing.
                    const FitOutcome outcome = analyse_recording(recording, 1, surface);
                    if (!outcome.first_edge_is_hole_0 || !outcome.every_hole_seen) {
                        ++errors.lost;
                        continue;
                    }
                    common::MeasurementState &state = recording.state;
                    analysis::begin_graph(state, 1);
                    analysis::analyse_sections(state);
                    const analysis::StripAnalysis strip = analysis::analyse_strip(state);
                    const analysis::Tape tape = analysis::cut_tape(state, strip, kPieceS);
                    if (state.edge_count < 1)
                        continue;
                    const converter::SimulatedCart cart(motion);
                    const double first_edge_s = recording.sample_s[static_cast<std::size_t>(state.edge_index[0])];
                    for (const analysis::TapePiece &piece : tape.pieces) {
                        if (piece.kind != analysis::TapePiece::Kind::Whole || !piece.length_cm)
                            continue;
                        const double truth = cart.position_cm(first_edge_s + piece.end_s)
                            - cart.position_cm(first_edge_s + piece.start_s);
                        const double off_mm = (*piece.length_cm - truth) * 10;
                        errors.fitted_mm.push_back(off_mm);
                        errors.over_limit += std::fabs(off_mm) > 0.2;
                        const std::optional<double> from = between_two_edges(strip, piece.start_s);
                        const std::optional<double> to = between_two_edges(strip, piece.end_s);
                        if (from && to)
                            errors.straight_mm.push_back((*to - *from - truth) * 10);
                    }
                    if (tape.line && tape.line->points >= 3)
                        errors.slope.push_back((tape.line->slope - accel) / accel);
                }
            }
        }
        table.add_row(
            {std::to_string(period) + " ms", std::to_string(errors.lost), std::to_string(errors.fitted_mm.size()),
                fixed(rms(errors.fitted_mm), 3), fixed(largest(errors.fitted_mm), 3), std::to_string(errors.over_limit),
                fixed(rms(errors.straight_mm), 3), fixed(largest(errors.straight_mm), 3),
                fixed(100 * rms(errors.slope), 2) + " %", fixed(100 * largest(errors.slope), 2) + " %"});
    }
    table.add_note("Recordings where a hole passed between two readings are left out, as in table 4.");
    table.add_note("Each piece's length from the position fits over the 40 holes nearest each cut, taken half a period "
                   "after it; \"two edges\": a straight line between the falling edges around each cut.");
    table.print();
}

}  // namespace bench
