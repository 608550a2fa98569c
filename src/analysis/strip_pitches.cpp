// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/strip_rules.h"

#include <algorithm>

namespace analysis::strip_rules {
namespace {

// The light run of the holes about gap j where they are all alike (the cart kept one speed there):
// the mean over holes j - 1 to j + 2, as many as there are; 0 where they differ.
double steady_light(const std::vector<StripHole> &holes, std::int32_t j)
{
    const auto count = static_cast<std::int32_t>(holes.size());
    double total = 0;
    int runs = 0;
    for (std::int32_t h = std::max(0, j - 1); h <= std::min(count - 1, j + 2); ++h) {
        const double light = light_of(holes, static_cast<std::size_t>(h));
        if (light <= 0)
            return 0;
        total += light;
        ++runs;
    }
    if (runs < kSteadyHoles)
        return 0;
    const double mean = total / runs;
    for (std::int32_t h = std::max(0, j - 1); h <= std::min(count - 1, j + 2); ++h)
        if (std::fabs(light_of(holes, static_cast<std::size_t>(h)) - mean) > kSteadyShare * mean + 1)
            return 0;
    return mean;
}

// Whether the light runs of the holes at the ends of gap j agree: the cart kept its speed across it.
bool runs_agree(const std::vector<StripHole> &holes, std::int32_t j)
{
    const double before = light_of(holes, static_cast<std::size_t>(j));
    const double after = light_of(holes, static_cast<std::size_t>(j + 1));
    return before > 0 && after > 0 && std::fabs(before - after) <= kRunsAgree * (before + after) / 2 + 1;
}

// The holes not seen in gap j from the runs at either end of it alone, where the spacing on its
// sides cannot tell (near the start or the end of a recording): the two holes' light runs give
// the speed there when they agree, and the strip's ratio of bar to hole the time a pitch takes at
// it. The gap's dark run must then fit a whole number of pitches, 2 or 3, closely. 0 where the
// runs do not tell.
std::int32_t unseen_pitches_by_runs(const std::vector<StripHole> &holes, std::int32_t j, double bar_per_hole)
{
    // The mean over four holes where they agree, else over the two at the ends of the gap, which
    // must then take more readings: timing by whole readings makes each a reading long or short.
    double light = steady_light(holes, j);
    if (light < kSteadyLeastReadings) {
        light = (light_of(holes, static_cast<std::size_t>(j)) + light_of(holes, static_cast<std::size_t>(j + 1))) / 2;
        if (light < kRunLeastReadings || !runs_agree(holes, j))
            return 0;
    }
    // A cart slowing into the gap, its light runs growing towards it, is stopping or turning there.
    const double earlier = j >= 1 ? light_of(holes, static_cast<std::size_t>(j - 1)) : -1;
    if (!(bar_per_hole > 0) || (earlier > 0 && earlier * kSidesAgree < light_of(holes, static_cast<std::size_t>(j))))
        return 0;
    const double dark = holes[static_cast<std::size_t>(j + 1)].rising - holes[static_cast<std::size_t>(j)].falling;
    // A dark run over k pitches lasts k (1 + bar_per_hole) - 1 light runs.
    const double pitches = (dark / light + 1) / (1 + bar_per_hole);
    const auto whole = static_cast<std::int32_t>(std::lround(pitches));
    return whole >= 2 && whole <= 3 && std::fabs(pitches - whole) <= kRunPitchTolerance ? whole : 0;
}

// The holes not seen in the recording's last gap, which has no gap after it: the spacing before it,
// where the cart kept its speed, and the light run of the last hole as long as those before it:
// a cart that slowed in the gap would have passed the last hole slower still.
std::int32_t unseen_at_end(const Judge &judge, const std::vector<StripHole> &holes, std::int32_t j)
{
    const std::optional<double> left = judge.spacing(j - kTrendGaps, j);
    if (!left || judge.grows_towards(j, true) || !judge.regular(j, j - kTrendGaps, j, *left))
        return 0;
    const auto last = static_cast<std::int32_t>(holes.size()) - 1;
    double total = 0;
    for (std::int32_t h = last - kSteadyHoles + 1; h <= last; ++h) {
        const double light = h >= 0 ? light_of(holes, static_cast<std::size_t>(h)) : -1;
        if (light <= 0)
            return 0;
        total += light;
    }
    const double mean = total / kSteadyHoles;
    if (mean < kEndLeastReadings)
        return 0;
    for (std::int32_t h = last - kSteadyHoles + 1; h <= last; ++h)
        if (std::fabs(light_of(holes, static_cast<std::size_t>(h)) - mean) > kSteadyShare * mean + 1)
            return 0;
    return judge.unseen_pitches(j, *left);
}

}  // namespace

// The pitches of every gap: pass after pass, each counting the gaps the one before found as the
// pitches they span, which evens out the strip around other gaps, until nothing changes. Where the
// spacing on the sides cannot judge a gap, the runs at its ends may.
void count_pitches(std::vector<Gap> &gaps, const std::vector<StripHole> &holes)
{
    const auto count = static_cast<std::int32_t>(gaps.size());
    // The strip's bar over its hole: the median over the pitches of the recording.
    std::vector<double> ratios;
    for (std::size_t h = 1; h < holes.size(); ++h) {
        const double light = light_of(holes, h);
        const double dark = holes[h].rising - holes[h - 1].falling;
        if (light > 0 && holes[h].rising >= 0 && dark > 0)
            ratios.push_back(dark / light);
    }
    double bar_per_hole = 0;
    if (!ratios.empty()) {
        // The lower median: pitches with holes not seen make long dark runs, never short ones.
        const auto middle = ratios.begin() + static_cast<std::ptrdiff_t>((ratios.size() - 1) / 2);
        std::nth_element(ratios.begin(), middle, ratios.end());
        bar_per_hole = *middle;
    }
    for (int pass = 0; pass < kMostPasses; ++pass) {
        const Judge judge(gaps);
        std::vector<std::int32_t> pitches(gaps.size(), 1);
        for (std::int32_t j = 0; j < count; ++j) {
            const std::optional<double> trend = judge.trend(j);
            std::int32_t unseen
                = trend ? judge.unseen_pitches(j, *trend) : unseen_pitches_by_runs(holes, j, bar_per_hole);
            if (!trend && j == count - 1)
                unseen = std::max(unseen, unseen_at_end(judge, holes, j));
            pitches[static_cast<std::size_t>(j)] = std::max(1, unseen);
        }
        bool changed = false;
        for (std::size_t j = 0; j < gaps.size(); ++j) {
            changed = changed || gaps[j].pitches != pitches[j];
            gaps[j].pitches = pitches[j];
        }
        if (!changed)
            break;
    }
}

// Whether the holes missing in gap j are the strip's own: the narrower of hole and bar took many
// readings in the holes around it.
bool strip_lacks_holes(const std::vector<StripHole> &holes, const std::vector<Gap> &gaps, std::int32_t j)
{
    double light = 0;
    double dark = 0;
    int lights = 0;
    int darks = 0;
    const auto count = static_cast<std::int32_t>(holes.size());
    for (std::int32_t h = std::max(0, j - kTornNeighbours + 1); h <= std::min(count - 1, j + kTornNeighbours); ++h) {
        const auto hole = static_cast<std::size_t>(h);
        if (const double run = light_of(holes, hole); run > 0) {
            light += run;
            ++lights;
        }
        if (const double run = dark_before(holes, gaps, hole); run > 0) {
            dark += run;
            ++darks;
        }
    }
    if (lights == 0 || darks == 0)
        return false;
    return std::min(light / lights, dark / darks) >= kTornLeastReadings;
}

}  // namespace analysis::strip_rules
