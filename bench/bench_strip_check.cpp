// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "accuracy_run.h"
#include "bench_support.h"

#include <iostream>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace bench {
namespace {

constexpr std::int32_t kPeriodsMs[] = {1, 2, 5, 10};
constexpr double kReleaseDelayS = 0.05;
constexpr double kEndStopCm = 30.0;
constexpr std::int16_t kHolesPerSection[] = {1, 3};
// A message on at least this share of the graphs that lost a hole, at this period and below.
constexpr double kLeastHitShare = 0.95;
constexpr std::int32_t kHitTargetUpToMs = 5;

struct Strip {
    double hole_width_cm;
    bool end_stop;
    std::string name() const
    {
        return fixed(hole_width_cm * 10, 0) + " mm" + (end_stop ? ", end stop at " + fixed(kEndStopCm, 0) + " cm" : "");
    }
};

struct Counts {
    int graphs = 0;
    int clean = 0;  // lost nothing, every hole and bar seen by two readings or more
    int clean_raised = 0;
    int coarse = 0;  // lost nothing, but some hole or bar was seen by a single reading
    int coarse_raised = 0;
    int lost = 0;
    int lost_raised = 0;
    int lost_missed_found = 0;    // the message names a missed hole
    int missed_without_loss = 0;  // a missed hole named where none was lost
    int extra_edges = 0;          // an edge counted twice named: the simulation never gives one

    void add(const FitOutcome &outcome)
    {
        if (!outcome.has_sections)
            return;
        ++graphs;
        extra_edges += outcome.extra_edge_found;
        if (!outcome.lost_a_hole)
            missed_without_loss += outcome.missed_hole_found;
        if (outcome.lost_a_hole) {
            ++lost;
            lost_raised += outcome.check_raised;
            lost_missed_found += outcome.missed_hole_found;
        } else if (outcome.two_readings_each) {
            ++clean;
            clean_raised += outcome.check_raised;
        } else {
            ++coarse;
            coarse_raised += outcome.check_raised;
        }
    }
};

std::string share(int part, int whole)
{
    return whole > 0
        ? std::to_string(part) + "/" + std::to_string(whole) + " (" + fixed(100.0 * part / whole, 1) + " %)"
        : "-";
}

}  // namespace

void run_strip_check_bench(const Options &options, graph::Surface &surface)
{
    const std::vector<Strip> strips = {{0.5, false}, {0.3, false}, {0.5, true}, {0.3, true}};
    const std::vector<double> v0s
        = options.quick ? std::vector<double>{20, 90} : std::vector<double>{0, 20, 40, 60, 90, 120};
    const std::vector<double> accels
        = options.quick ? std::vector<double>{60, 200} : std::vector<double>{20, 60, 100, 200};
    const int phases = options.quick ? 2 : 8;

    std::map<std::tuple<std::int32_t, std::size_t>, Counts> counts;
    for (std::int32_t period : kPeriodsMs) {
        for (std::size_t s = 0; s < strips.size(); ++s) {
            for (double v0 : v0s) {
                for (double accel : accels) {
                    for (int phase = 0; phase < phases; ++phase) {
                        converter::CartMotion motion{v0, accel, kReleaseDelayS + period * 1e-3 * phase / phases};
                        motion.hole_width_cm = strips[s].hole_width_cm;
                        if (strips[s].end_stop)
                            motion.end_stop_cm = kEndStopCm;
                        Recording recording = record_ideal(motion, static_cast<std::uint32_t>(phase + 1), period, 0);
                        for (const std::int16_t holes : kHolesPerSection)
                            counts[{period, s}].add(analyse_recording(recording, holes, surface));
                    }
                }
            }
        }
    }

    Table table("4e. The strip check on the simulated cart (ideal recordings of 1 s; a message is any finding in "
                "the graph's sections)",
        {"period", "strip", "graphs", "clean: message", "single reading: message", "lost a hole: message",
            "of which a missed hole", "false claims", "target", "result"});
    for (std::int32_t period : kPeriodsMs) {
        for (std::size_t s = 0; s < strips.size(); ++s) {
            const Counts &c = counts[{period, s}];
            const bool hits_needed = period <= kHitTargetUpToMs;
            const bool met = c.clean_raised == 0 && c.missed_without_loss == 0 && c.extra_edges == 0
                && (!hits_needed || c.lost == 0 || c.lost_raised >= kLeastHitShare * c.lost);
            table.add_row({std::to_string(period) + " ms", strips[s].name(), std::to_string(c.graphs),
                share(c.clean_raised, c.clean), share(c.coarse_raised, c.coarse), share(c.lost_raised, c.lost),
                share(c.lost_missed_found, c.lost), std::to_string(c.missed_without_loss + c.extra_edges),
                hits_needed ? "clean 0, lost ≥ 95 %, false 0" : "clean 0, false 0", verdict(met)});
        }
    }
    table.add_note("Carts: v0 " + std::to_string(v0s.size()) + " values up to " + fixed(v0s.back(), 0) + " cm/s x a "
        + std::to_string(accels.size()) + " values up to " + fixed(accels.back(), 0) + " cm/s² x "
        + std::to_string(phases)
        + " release phases, each analysed with 1 and 3 holes per section; graphs: those "
          "with one whole section or more.");
    table.add_note("clean: lost no hole, and every hole and bar between the first counted edge and the end of the "
                   "last section was seen by two readings or more. single reading: lost no hole, but some hole or "
                   "bar was seen by one reading only, where the period is at its limit. lost a hole: a hole passed "
                   "the sensor between two readings there. false claims: a missed hole named in a graph that lost "
                   "none, or an edge counted twice named (the simulated sensor never flickers).");
    table.print();
}

}  // namespace bench
