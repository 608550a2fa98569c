// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "accuracy_run.h"
#include "bench_parts.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <map>
#include <utility>

namespace bench {
namespace {

constexpr std::int32_t kPeriodsMs[] = {1, 2, 5, 10};
constexpr int kMaxHoles = 5;
constexpr double kReleaseDelayS = 0.05;

// A fit that measures the timing: two or more points, and every boundary on the hole it claims.
bool usable(const FitOutcome &outcome)
{
    return outcome.fitted && outcome.first_edge_is_hole_0 && outcome.every_hole_seen;
}

// The errors of one kind of sampling for one period and one number of holes per section.
struct ErrorSample {
    std::vector<double> accel;      // relative
    std::vector<double> v0;         // cm/s
    std::vector<double> accel_all;  // relative, every fit including those with a hole lost
    int cases = 0;
    int no_fit = 0;      // fewer than two velocity points on the graph
    int holes_lost = 0;  // a hole went by between two readings, or hole 0 was not the first edge

    // The position fit on the same usable cases.
    std::vector<double> position_accel;  // relative
    std::vector<double> position_v0;     // cm/s
    std::vector<double> position_edges;
    int position_within = 0;   // the truth within 2 standard errors of the fitted acceleration
    int position_missing = 0;  // usable cases without a position fit

    void add(const FitOutcome &outcome)
    {
        ++cases;
        if (!outcome.fitted) {
            ++no_fit;
            return;
        }
        accel_all.push_back(outcome.accel_error);
        if (!usable(outcome)) {
            ++holes_lost;
            return;
        }
        accel.push_back(outcome.accel_error);
        v0.push_back(outcome.v0_error_cm_s);
        if (!outcome.position_fitted) {
            ++position_missing;
            return;
        }
        position_accel.push_back(outcome.position_accel_error);
        position_v0.push_back(outcome.position_v0_error_cm_s);
        position_edges.push_back(outcome.position_edges);
        if (std::fabs(outcome.position_accel_error) <= 2 * outcome.position_accel_se)
            ++position_within;
    }
    std::string used() const { return std::to_string(accel.size()) + "/" + std::to_string(cases); }
};

double max_abs(const std::vector<double> &values)
{
    double largest = 0;
    for (double value : values)
        largest = std::max(largest, std::fabs(value));
    return largest;
}

double mean(const std::vector<double> &values)
{
    double sum = 0;
    for (double value : values)
        sum += value;
    return values.empty() ? 0.0 : sum / static_cast<double>(values.size());
}

std::string percent(double relative) { return fixed(relative * 100, 2) + " %"; }

// The RMS, or the largest magnitude, of a sample as a percentage or in cm/s; "-" when it is empty.
std::string rms_percent(const std::vector<double> &values)
{
    return values.empty() ? "-" : percent(root_mean_square(values));
}
std::string max_percent(const std::vector<double> &values) { return values.empty() ? "-" : percent(max_abs(values)); }
std::string rms_cm_s(const std::vector<double> &values)
{
    return values.empty() ? "-" : fixed(root_mean_square(values), 2);
}

std::string ratio(double loop, double ideal) { return ideal > 0 ? fixed(loop / ideal, 2) : "-"; }

using Key = std::pair<std::int32_t, int>;  // period in ms, holes per section

struct Grid {
    std::map<Key, ErrorSample> ideal;
    std::map<Key, ErrorSample> loop;     // loop recordings whose matched ideal is usable too
    std::map<Key, ErrorSample> matched;  // ideal recordings at the phase of each loop recording
    std::map<Key, int> loop_lost;        // the loop lost a hole that the same-phase ideal saw
    std::map<Key, int> ideal_lost;       // the other way round
    double max_lateness_ms = 0;          // the latest reading of any loop recording
    double lost_max_lateness_ms = 0;     // the latest reading of a loop recording that lost a hole
};

// A loop recording and the ideal one at the same phase, analysed with every number of holes.
void add_loop_pair(Grid &grid, Recording &loop, graph::Surface &surface, std::int32_t period_ms, std::uint32_t seed)
{
    Recording ideal = record_ideal(loop.motion, seed, period_ms, loop.first_deadline_ns);
    const double lateness_ms = static_cast<double>(loop.max_lateness_ns) * 1e-6;
    grid.max_lateness_ms = std::max(grid.max_lateness_ms, lateness_ms);
    for (int holes = 1; holes <= kMaxHoles; ++holes) {
        const FitOutcome from_loop = analyse_recording(loop, static_cast<std::int16_t>(holes), surface);
        const FitOutcome from_ideal = analyse_recording(ideal, static_cast<std::int16_t>(holes), surface);
        const Key key{period_ms, holes};
        if (usable(from_loop) != usable(from_ideal)) {
            ++(usable(from_ideal) ? grid.loop_lost : grid.ideal_lost)[key];
            if (usable(from_ideal))
                grid.lost_max_lateness_ms = std::max(grid.lost_max_lateness_ms, lateness_ms);
            continue;
        }
        grid.loop[key].add(from_loop);
        grid.matched[key].add(from_ideal);
    }
}

// The position fit beside the line, on the ideal grid's usable cases.
void print_position_fit_table(
    const std::map<Key, ErrorSample> &ideal, std::size_t v0_count, std::size_t accel_count, int phases)
{
    // The RMS error of a that the position fit must stay within, by period.
    const std::map<std::int32_t, double> target_rms = {{1, 0.0035}, {2, 0.0075}, {5, 0.022}, {10, 0.042}};
    constexpr double kLowestCoverage = 0.88;
    constexpr double kHighestCoverage = 0.99;
    Table table("4d. Position fit through the edges beside the fitted line (ideal grid, the same cases as table 4)",
        {"period", "holes", "cases", "line RMS a", "line max a", "fit RMS a", "fit max a", "fit / line", "fit RMS v0",
            "edges", "within 2 SE", "target", "result"});
    std::string pooled;
    for (std::int32_t period : kPeriodsMs) {
        std::vector<double> all_errors;
        int all_within = 0;
        for (int holes = 1; holes <= kMaxHoles; ++holes) {
            const ErrorSample &sample = ideal.at({period, holes});
            const auto fitted = static_cast<double>(sample.position_accel.size());
            const double coverage = fitted > 0 ? sample.position_within / fitted : 0.0;
            const double fit_rms = root_mean_square(sample.position_accel);
            all_errors.insert(all_errors.end(), sample.position_accel.begin(), sample.position_accel.end());
            all_within += sample.position_within;
            // The targets hold for one hole a section, the program's starting setting.
            const bool judged = holes == 1;
            const bool met = fitted > 0 && sample.position_missing == 0 && fit_rms <= target_rms.at(period)
                && coverage >= kLowestCoverage && coverage <= kHighestCoverage;
            table.add_row({std::to_string(period) + " ms", std::to_string(holes),
                std::to_string(sample.position_accel.size()) + "/" + std::to_string(sample.accel.size()),
                rms_percent(sample.accel), max_percent(sample.accel), rms_percent(sample.position_accel),
                max_percent(sample.position_accel), ratio(fit_rms, root_mean_square(sample.accel)),
                rms_cm_s(sample.position_v0), fixed(median(sample.position_edges), 0),
                fitted > 0 ? fixed(coverage * 100, 1) + " %" : "-",
                judged ? "RMS ≤ " + fixed(target_rms.at(period) * 100, 2) + " %, 88–99 %" : "",
                judged ? verdict(met) : ""});
        }
        pooled += (pooled.empty() ? "" : ", ") + std::to_string(period) + " ms " + rms_percent(all_errors) + " and "
            + (all_errors.empty() ? "-" : fixed(100.0 * all_within / static_cast<double>(all_errors.size()), 1) + " %");
    }
    table.add_note("cases: position fits over the cases of table 4 with every hole seen (a fit needs three falling "
                   "edges in its span, and two edges beyond its unknowns).");
    table.add_note("The fit: x = x0 + v0 t + a t² / 2 by least squares through the falling edges at whole pitches "
                   "and the rising edges a fitted hole width before them, over the graph's time axis and at least the "
                   "span of the velocity points the line uses; edges: median number of edges used.");
    table.add_note("within 2 SE: share of cases whose true acceleration lies within two of the fit's own standard "
                   "errors of the fitted one.");
    table.add_note("Over all holes per section together, RMS error of a and share within 2 SE: " + pooled + ".");
    table.add_note("Ideal grid: v0 " + std::to_string(v0_count) + " values x a " + std::to_string(accel_count)
        + " values x " + std::to_string(phases) + " release phases.");
    table.print();
}

void progress(const std::string &what, int done, int total)
{
    std::cerr << "\r" << what << " " << done << "/" << total << "   " << std::flush;
    if (done == total)
        std::cerr << "\r" << std::string(what.size() + 24, ' ') << "\r" << std::flush;
}

}  // namespace

void run_accuracy_bench(const Options &options)
{
    graph::Surface surface(660, 480);
    Grid grid;

    // Ideal sampling over the whole grid, the release at several phases of the period.
    const std::vector<double> v0s = options.quick ? std::vector<double>{20, 60} : std::vector<double>{0, 20, 40, 60};
    const std::vector<double> accels
        = options.quick ? std::vector<double>{60, 200} : std::vector<double>{20, 60, 100, 200};
    const int phases = options.quick ? 2 : 8;
    for (std::int32_t period : kPeriodsMs) {
        for (double v0 : v0s) {
            for (double accel : accels) {
                for (int phase = 0; phase < phases; ++phase) {
                    const converter::CartMotion motion{v0, accel, kReleaseDelayS + period * 1e-3 * phase / phases};
                    Recording ideal = record_ideal(motion, static_cast<std::uint32_t>(phase + 1), period, 0);
                    for (int holes = 1; holes <= kMaxHoles; ++holes)
                        grid.ideal[{period, holes}].add(
                            analyse_recording(ideal, static_cast<std::int16_t>(holes), surface));
                }
            }
        }
    }

    // The program's own loop: one second of real time per recording.
    const std::vector<double> loop_v0s = options.quick ? std::vector<double>{20} : v0s;
    const std::vector<double> loop_accels = options.quick ? std::vector<double>{60} : std::vector<double>{20, 60, 200};
    const int repeats = options.quick ? 1 : 2;
    const int loop_total = static_cast<int>(std::size(kPeriodsMs) * loop_v0s.size() * loop_accels.size()) * repeats;
    int loop_done = 0;
    for (std::int32_t period : kPeriodsMs) {
        for (double v0 : loop_v0s) {
            for (double accel : loop_accels) {
                for (int repeat = 0; repeat < repeats; ++repeat) {
                    const converter::CartMotion motion{v0, accel, kReleaseDelayS + period * 1e-3 * 0.37 * repeat};
                    const auto seed = static_cast<std::uint32_t>(repeat + 1);
                    Recording loop = record_loop(motion, seed, period);
                    add_loop_pair(grid, loop, surface, period, seed);
                    progress("loop recordings", ++loop_done, loop_total);
                }
            }
        }
    }

    Table table("4. Accuracy of the fitted line against the simulated cart (1 s recordings; ideal: readings at exact "
                "instants; loop: the program's sampling loop on the real tick counter)",
        {"period", "holes", "ideal used", "ideal RMS a", "ideal max a", "ideal RMS v0", "loop used", "loop lost a hole",
            "loop RMS a", "loop max a", "loop RMS v0", "same-phase ideal RMS a", "loop / ideal"});
    for (std::int32_t period : kPeriodsMs) {
        for (int holes = 1; holes <= kMaxHoles; ++holes) {
            const ErrorSample &ideal = grid.ideal[{period, holes}];
            const ErrorSample &loop = grid.loop[{period, holes}];
            const ErrorSample &matched = grid.matched[{period, holes}];
            table.add_row({std::to_string(period) + " ms", std::to_string(holes), ideal.used(),
                rms_percent(ideal.accel), max_percent(ideal.accel), rms_cm_s(ideal.v0), loop.used(),
                std::to_string(grid.loop_lost[{period, holes}]), rms_percent(loop.accel), max_percent(loop.accel),
                rms_cm_s(loop.v0), rms_percent(matched.accel),
                ratio(root_mean_square(loop.accel), root_mean_square(matched.accel))});
        }
    }
    table.add_note("a: relative error of the fitted acceleration; v0: error of the fitted initial velocity in cm/s "
                   "against the cart's velocity at the trailing edge of hole 0.");
    table.add_note("Ideal grid: v0 " + std::to_string(v0s.size()) + " values x a " + std::to_string(accels.size())
        + " values x " + std::to_string(phases) + " release phases. Loop grid: v0 " + std::to_string(loop_v0s.size())
        + " x a " + std::to_string(loop_accels.size()) + " x " + std::to_string(repeats)
        + " repeats; each loop recording is compared with an ideal one of the same cart at the same phase.");
    table.add_note("used: cases with two or more points on the graph and every hole seen; the rest are counted in the "
                   "next table.");
    table.add_note("loop used: pairs in which both the loop recording and the same-phase ideal one saw every hole. "
                   "loop lost a hole: the loop recording lost a hole that the ideal one saw; such pairs are left out "
                   "of the errors.");
    table.add_note("Latest reading behind its deadline: " + fixed(grid.max_lateness_ms, 2)
        + " ms over all loop recordings, " + fixed(grid.lost_max_lateness_ms, 2) + " ms over those that lost a hole.");
    int ideal_only = 0;
    for (const auto &[key, count] : grid.ideal_lost)
        ideal_only += count;
    if (ideal_only > 0)
        table.add_note(std::to_string(ideal_only)
            + " pairs in which the ideal recording lost a hole that the loop saw are left out as well.");
    table.print();

    Table lost("4b. Cases left out of the accuracy table (ideal grid)",
        {"period", "holes", "cases", "fewer than 2 points", "a hole between two readings", "RMS a with them",
            "a hole can be skipped above"});
    for (std::int32_t period : kPeriodsMs) {
        for (int holes = 1; holes <= kMaxHoles; ++holes) {
            const ErrorSample &ideal = grid.ideal[{period, holes}];
            lost.add_row({std::to_string(period) + " ms", std::to_string(holes), std::to_string(ideal.cases),
                std::to_string(ideal.no_fit), std::to_string(ideal.holes_lost), rms_percent(ideal.accel_all),
                fixed(converter::CartMotion{}.hole_width_cm / (period * 1e-3), 0) + " cm/s"});
        }
    }
    lost.add_note("A hole 0.5 cm wide can pass the sensor between two readings once the cart is faster than 0.5 cm "
                  "per period; the sections after it then span one hole more than they claim.");
    lost.print();

    // The program's starting settings (1 ms, one hole a section) on the simulated cart's own motion.
    const converter::CartMotion base{20, 60, kReleaseDelayS};
    const int ideal_phases = options.quick ? 16 : 64;
    std::vector<double> ideal_errors;
    int check_messages = 0;  // the strip check must stay silent on this cart
    for (int phase = 0; phase < ideal_phases; ++phase) {
        converter::CartMotion motion = base;
        motion.release_delay_s += 1e-3 * phase / ideal_phases;
        Recording ideal = record_ideal(motion, static_cast<std::uint32_t>(phase + 1), 1, 0);
        const FitOutcome outcome = analyse_recording(ideal, 1, surface);
        if (usable(outcome))
            ideal_errors.push_back(outcome.accel_error);
        check_messages += outcome.check_raised;
    }
    // Every loop recording counts here, including one that a stall made lose a hole.
    const int case_recordings = options.quick ? 4 : 16;
    std::vector<double> loop_errors, matched_errors;
    int loop_lost = 0, identical = 0;
    for (int repeat = 0; repeat < case_recordings; ++repeat) {
        converter::CartMotion motion = base;
        motion.release_delay_s += 1e-3 * repeat / case_recordings;
        const auto seed = static_cast<std::uint32_t>(repeat + 1);
        Recording loop = record_loop(motion, seed, 1);
        Recording matched = record_ideal(motion, seed, 1, loop.first_deadline_ns);
        const FitOutcome from_loop = analyse_recording(loop, 1, surface);
        const FitOutcome from_matched = analyse_recording(matched, 1, surface);
        if (from_loop.fitted && from_matched.fitted) {
            loop_errors.push_back(from_loop.accel_error);
            matched_errors.push_back(from_matched.accel_error);
            if (from_loop.accel_error == from_matched.accel_error)
                ++identical;
        }
        if (!usable(from_loop))
            ++loop_lost;
        check_messages += from_loop.check_raised + from_matched.check_raised;
        progress("1 ms recordings", repeat + 1, case_recordings);
    }

    const double ideal_rms = root_mean_square(ideal_errors);
    const double loop_rms = root_mean_square(loop_errors);
    const double matched_rms = root_mean_square(matched_errors);
    Table lab_case("4c. Period 1 ms, 1 hole a section, a = 60 cm/s², v0 = 20 cm/s",
        {"sampling", "recordings", "RMS a", "max a", "mean a", "target", "result"});
    lab_case.add_row({"ideal, release phases across the period", std::to_string(ideal_errors.size()),
        percent(ideal_rms), percent(max_abs(ideal_errors)), percent(mean(ideal_errors)), "", ""});
    lab_case.add_row({"ideal, at the phases of the loop recordings", std::to_string(matched_errors.size()),
        percent(matched_rms), percent(max_abs(matched_errors)), percent(mean(matched_errors)), "", ""});
    lab_case.add_row({"loop on the real tick counter", std::to_string(loop_errors.size()), percent(loop_rms),
        percent(max_abs(loop_errors)), percent(mean(loop_errors)), "every fit within 1 %",
        verdict(static_cast<int>(loop_errors.size()) == case_recordings && max_abs(loop_errors) <= 0.01)});
    lab_case.add_row({"loop / same-phase ideal (RMS)", "", ratio(loop_rms, matched_rms), "", "", "≤ 1.2",
        verdict(matched_rms > 0 && loop_rms <= 1.2 * matched_rms)});
    lab_case.add_row({"loop / ideal over all phases (RMS)", "", ratio(loop_rms, ideal_rms), "", "", "≤ 1.2",
        verdict(ideal_rms > 0 && loop_rms <= 1.2 * ideal_rms)});
    lab_case.add_note(std::to_string(identical) + " of " + std::to_string(loop_errors.size())
        + " loop recordings gave exactly the fit of the ideal recording at their phase; " + std::to_string(loop_lost)
        + " lost a hole.");
    lab_case.add_note("Strip check messages over these " + std::to_string(ideal_phases + 2 * case_recordings)
        + " recordings: " + std::to_string(check_messages) + " (target 0): " + verdict(check_messages == 0) + ".");
    lab_case.print();

    print_position_fit_table(grid.ideal, v0s.size(), accels.size(), phases);
    run_strip_check_bench(options, surface);
}

}  // namespace bench
