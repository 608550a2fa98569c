// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/strip_reading.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace analysis {
namespace {

// The typical run of a kind is the median of the nearest kNearbyRuns runs of that kind longer than
// a bounce, looked for up to this many places of that kind on each side.
constexpr std::size_t kTypicalRuns = 10;
constexpr std::size_t kNearbyRuns = 6;
constexpr std::size_t kFewestTypicalRuns = 3;
// A run is spurious at this share of the typical run or less, and this many readings short of
// it at least. Timing by whole readings makes a run up to a reading longer or shorter than it
// was, so below kLeastTypicalReadings a short run may be an ordinary one.
constexpr double kSpuriousShare = 0.34;
constexpr double kSpuriousShortfall = 2.0;
constexpr double kLeastTypicalReadings = 3.5;
// A bounce lasts a reading or two.
constexpr double kMostBounceReadings = 2.0;
// With fewer runs of its kind around than kFewestTypicalRuns, a run of a reading or two is a
// bounce beside runs at least this many times as long, and this many readings.
constexpr double kFewRunsFactor = 10.0;
constexpr double kFewRunsLeastReadings = 10.0;
// Joining the runs around a drop takes out a fall; it must leave a gap of one pitch, at most this
// share longer than the typical gap between falls nearby. A short light run whose fall keeps the
// strip's spacing is a hole, however few readings saw it.
constexpr double kJoinedGapShare = 1.4;
// Falls are bounces of one crossing where they lie this share of the typical gap between falls
// nearby apart or closer (the median of up to this many gaps on each side), that gap being this
// many readings at least.
constexpr double kCloseFallShare = 0.5;
constexpr std::int32_t kCloseFallGaps = 6;
constexpr double kCloseFallLeastGap = 5.0;
constexpr double kCloseFallLeastLight = 2.5;
constexpr double kCloseFallLightQuantile = 0.75;
// A short light run at the start or the end of the recording is a hole where its fall lies this
// share of the median of the next kEdgeGaps gaps from the next fall, or further, and it is not a
// spurious share of their light runs.
constexpr std::size_t kEdgeGaps = 3;
constexpr double kEdgeSpacingShare = 0.75;
// The run joined across a drop is within this share of the typical run of its kind, and a reading.
constexpr double kJoinedRunShare = 0.35;

struct Run {
    bool light = false;
    double start = 0;
    double end = 0;
    // Cut off by the start or the end of the recording: its length is not known.
    bool partial = false;
    // For a light run: the pulse whose falling edge ends it.
    std::int32_t pulse = -1;
    double length() const { return end - start; }
};

std::vector<Run> runs_of(const std::vector<Pulse> &pulses)
{
    std::vector<Run> runs;
    const auto inf = std::numeric_limits<double>::infinity();
    for (std::size_t j = 0; j < pulses.size(); ++j) {
        const Pulse &pulse = pulses[j];
        const auto falling = static_cast<double>(pulse.falling);
        if (j == 0) {
            if (pulse.rising >= 0) {
                runs.push_back({false, -inf, static_cast<double>(pulse.rising), true, -1});
                runs.push_back({true, static_cast<double>(pulse.rising), falling, false, 0});
            } else {
                runs.push_back({true, -inf, falling, true, 0});
            }
        } else {
            // Every pulse after the first has a dark reading before it (the scan starts a light run
            // only after one).
            const auto rising = static_cast<double>(pulse.rising);
            runs.push_back({false, static_cast<double>(pulses[j - 1].falling), rising, false, -1});
            runs.push_back({true, rising, falling, false, static_cast<std::int32_t>(j)});
        }
    }
    if (!pulses.empty())
        runs.push_back({false, static_cast<double>(pulses.back().falling), inf, true, -1});
    return runs;
}

// Whether each run is spurious, and the typical length of its kind around it (0 when not known).
std::vector<bool> spurious_runs(const std::vector<Run> &runs, std::vector<double> &typical_of)
{
    std::vector<bool> spurious(runs.size(), false);
    typical_of.assign(runs.size(), 0.0);
    std::vector<double> nearby;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (runs[r].partial)
            continue;
        // Runs of the same kind stand every other place; those of a reading or two may be bounces
        // themselves, and where bounces are many they would make the typical run look short.
        nearby.clear();
        double shortest = 0;
        int seen = 0;
        // The nearest runs first, as far out as it takes to find enough: a cart changes its speed
        // along the strip, and the typical run is the one about here.
        for (std::size_t step = 1; step <= kTypicalRuns && nearby.size() < kNearbyRuns; ++step) {
            const std::size_t offset = 2 * step;
            for (const bool before : {true, false}) {
                if (before ? r < offset : r + offset >= runs.size())
                    continue;
                const Run &other = runs[before ? r - offset : r + offset];
                if (other.partial)
                    continue;
                const double length = other.length();
                shortest = seen++ == 0 ? length : std::min(shortest, length);
                if (length > kMostBounceReadings)
                    nearby.push_back(length);
            }
        }
        const double length = runs[r].length();
        if (nearby.size() < kFewestTypicalRuns) {
            // A recording of a few slow holes: a reading or two beside runs ten times as long.
            spurious[r] = seen > 0 && length <= kMostBounceReadings && shortest >= kFewRunsFactor * length
                && shortest >= kFewRunsLeastReadings;
            continue;
        }
        const auto middle = nearby.begin() + static_cast<std::ptrdiff_t>(nearby.size() / 2);
        std::nth_element(nearby.begin(), middle, nearby.end());
        const double typical = *middle;
        typical_of[r] = typical;
        spurious[r] = typical >= kLeastTypicalReadings && length <= kSpuriousShare * typical
            && typical - length >= kSpuriousShortfall;
    }
    return spurious;
}

double median_gap_near(const std::vector<Pulse> &pulses, std::int32_t pulse)
{
    std::vector<double> gaps;
    const auto count = static_cast<std::int32_t>(pulses.size());
    for (std::int32_t j = std::max(1, pulse - static_cast<std::int32_t>(kTypicalRuns));
         j <= std::min(count - 1, pulse + static_cast<std::int32_t>(kTypicalRuns)); ++j)
        gaps.push_back(pulses[static_cast<std::size_t>(j)].falling - pulses[static_cast<std::size_t>(j - 1)].falling);
    if (gaps.empty())
        return 0;
    const auto middle = gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2);
    std::nth_element(gaps.begin(), middle, gaps.end());
    return *middle;
}

bool joins_to_a_pitch(const std::vector<Pulse> &pulses, const std::vector<Run> &runs, const std::vector<Run> &clean,
    std::size_t first, std::size_t last);

// Whether the fall of `pulse` lies a share of a pitch or more from the next fall (or, `backward`,
// the one before), a pitch being the median of the next few gaps beyond it.
bool keeps_the_spacing(const std::vector<Pulse> &pulses, std::int32_t pulse, bool backward)
{
    const auto count = static_cast<std::int32_t>(pulses.size());
    const std::int32_t step = backward ? -1 : 1;
    auto fall = [&](std::int32_t j) { return static_cast<double>(pulses[static_cast<std::size_t>(j)].falling); };
    auto light = [&](std::int32_t j) {
        const Pulse &p = pulses[static_cast<std::size_t>(j)];
        return static_cast<double>(p.falling - p.rising);
    };
    std::vector<double> beyond;
    std::vector<double> lights;
    for (std::int32_t j = pulse + step; j + step >= 0 && j + step < count && beyond.size() < kEdgeGaps; j += step) {
        beyond.push_back(std::fabs(fall(j + step) - fall(j)));
        lights.push_back(light(j));
    }
    if (pulse < 0 || pulse >= count || beyond.size() < kEdgeGaps)
        return false;
    std::nth_element(beyond.begin(), beyond.begin() + 1, beyond.end());
    std::nth_element(lights.begin(), lights.begin() + 1, lights.end());
    return std::fabs(fall(pulse + step) - fall(pulse)) >= kEdgeSpacingShare * beyond[1]
        && light(pulse) > kSpuriousShare * lights[1];
}

// Whether the spurious runs first..last are a drop inside a hole or a bar, or bounces that came
// back, to be joined with the runs of one kind around them: the joined run is as long as its kind
// runs there, and leaves a gap of one pitch between falls.
bool joins(const std::vector<Pulse> &pulses, const std::vector<Run> &runs, const std::vector<Run> &clean,
    const std::vector<double> &typical, std::size_t first, std::size_t last)
{
    const Run &before = clean.back();
    const Run &after = runs[last + 1];
    const double kind_typical = typical[last + 1];
    if (!before.partial && !after.partial
        && !(kind_typical >= kLeastTypicalReadings
            && std::fabs(after.end - before.start - kind_typical) <= kJoinedRunShare * kind_typical + 1))
        return false;
    return joins_to_a_pitch(pulses, runs, clean, first, last);
}

// Whether joining the spurious runs first..last with the runs of one kind around them leaves a
// gap of one pitch between the falls before and after them; true where the recording does not
// tell.
bool joins_to_a_pitch(const std::vector<Pulse> &pulses, const std::vector<Run> &runs, const std::vector<Run> &clean,
    std::size_t first, std::size_t last)
{
    const Run &before = clean.back();
    double previous_fall = 0;
    double next_fall = 0;
    std::int32_t near_pulse = 0;
    if (before.light) {
        // A drop inside a hole: its fall and the fall of the hole before.
        if (clean.size() < 3 || !clean[clean.size() - 3].light)
            return true;
        previous_fall = clean[clean.size() - 3].end;
        next_fall = runs[last + 1].end;
        near_pulse = runs[last + 1].pulse;
    } else {
        // Light amid a bar: the falls of the holes on either side. At the start or the end of the
        // recording, where one side has none, a light run whose fall keeps the spacing of the
        // falls beyond it is a hole, however short.
        if (before.partial || last + 2 >= runs.size() || !runs[last + 2].light)
            return first != last || !runs[first].light
                || !keeps_the_spacing(pulses, runs[first].pulse, !before.partial);
        previous_fall = before.start;
        next_fall = runs[last + 2].end;
        near_pulse = runs[first].pulse;
    }
    const double typical = median_gap_near(pulses, near_pulse);
    return !(typical > 0) || next_fall - previous_fall <= kJoinedGapShare * typical;
}

// Holes whose falls lie far closer together than the falls around them are one hole with bounces
// where its runs were too short to tell them (a few readings a hole): the hole with the longest
// light run is the strip's, bounces before it were at its rising crossing and bounces after it at
// its falling one, which each lie in the middle of theirs.
void join_close_falls(StripReading &reading)
{
    std::vector<StripHole> &holes = reading.holes;
    const auto count = static_cast<std::int32_t>(holes.size());
    std::vector<double> gaps;
    for (std::int32_t h = 0; h + 1 < count; ++h)
        gaps.push_back(holes[static_cast<std::size_t>(h + 1)].falling - holes[static_cast<std::size_t>(h)].falling);
    auto quantile = [](std::vector<double> values, double share) {
        const auto at = values.begin() + static_cast<std::ptrdiff_t>(share * static_cast<double>(values.size() - 1));
        std::nth_element(values.begin(), at, values.end());
        return *at;
    };
    // Where holes took a reading or so, as at a period near its limit, falls lie close together
    // where the strip is read that finely, not where it bounced; bounces are short light runs
    // themselves, so the holes are judged by their longer runs.
    // The typical gap about gap j where the falls there can be judged; 0 where they cannot.
    auto typical_gap = [&](std::int32_t j) {
        std::vector<double> nearby;
        std::vector<double> lights;
        for (std::int32_t i = std::max(0, j - kCloseFallGaps); i <= std::min(count - 2, j + kCloseFallGaps); ++i) {
            const StripHole &hole = holes[static_cast<std::size_t>(i)];
            if (hole.rising >= 0)
                lights.push_back(hole.falling - hole.rising);
            if (i != j && gaps[static_cast<std::size_t>(i)] > kMostBounceReadings)
                nearby.push_back(gaps[static_cast<std::size_t>(i)]);
        }
        if (nearby.size() < kFewestTypicalRuns || lights.size() < kFewestTypicalRuns
            || quantile(lights, kCloseFallLightQuantile) < kCloseFallLeastLight)
            return 0.0;
        const double typical = quantile(nearby, 0.5);
        return typical >= kCloseFallLeastGap ? typical : 0.0;
    };
    // Whether the fall of hole `to` is one of the bounces of the crossing whose first fall is that
    // of hole `from`: all of them lie within a share of the typical gap.
    // A bounce is a short run next to the hole's own, and lasts a reading or two on each side of
    // the crossing: two long light runs close together are the same hole passed out and back
    // where the cart turned, and falls further apart are holes passed fast.
    auto light_of = [&](std::int32_t h) {
        const StripHole &hole = holes[static_cast<std::size_t>(h)];
        return hole.rising >= 0 ? hole.falling - hole.rising : 0.0;
    };
    auto same_crossing = [&](std::int32_t from, std::int32_t to) {
        const double typical = typical_gap(to - 1);
        const double span = holes[static_cast<std::size_t>(to)].falling - holes[static_cast<std::size_t>(from)].falling;
        return typical > 0 && span <= kCloseFallShare * typical && typical - span >= kSpuriousShortfall
            && span <= 2 * kMostBounceReadings && std::min(light_of(to - 1), light_of(to)) <= kMostBounceReadings;
    };
    std::vector<StripHole> joined;
    std::vector<std::int32_t> new_index(holes.size(), -1);
    for (std::int32_t h = 0; h < count;) {
        std::int32_t last = h;
        while (last + 1 < count && same_crossing(h, last + 1))
            ++last;
        std::int32_t main = h;
        for (std::int32_t k = h; k <= last; ++k)
            if (holes[static_cast<std::size_t>(k)].falling - holes[static_cast<std::size_t>(k)].rising
                > holes[static_cast<std::size_t>(main)].falling - holes[static_cast<std::size_t>(main)].rising)
                main = k;
        StripHole hole = holes[static_cast<std::size_t>(main)];
        const StripHole &first = holes[static_cast<std::size_t>(h)];
        const StripHole &end = holes[static_cast<std::size_t>(last)];
        if (main != h && first.rising >= 0 && hole.rising >= 0)
            hole.rising = (first.rising + hole.rising) / 2;
        if (main != last)
            hole.falling = (hole.falling + end.falling) / 2;
        for (std::int32_t k = h; k <= last; ++k)
            new_index[static_cast<std::size_t>(k)] = k < main ? -1 : static_cast<std::int32_t>(joined.size());
        joined.push_back(hole);
        h = last + 1;
    }
    if (joined.size() == holes.size())
        return;
    for (std::int32_t &owner : reading.owner)
        if (owner >= 0)
            owner = new_index[static_cast<std::size_t>(owner)];
    holes = std::move(joined);
}

}  // namespace

StripReading read_strip(const std::vector<Pulse> &pulses)
{
    StripReading reading;
    reading.owner.assign(pulses.size(), -1);
    const std::vector<Run> runs = runs_of(pulses);
    std::vector<double> typical;
    std::vector<bool> spurious = spurious_runs(runs, typical);

    // The runs as the strip made them. A pulse whose falling edge lies within the bounces of a
    // crossing from light to dark belongs to the fall of the light run before them.
    struct Fall {
        std::int32_t pulse;
        std::size_t light_run;  // index into `clean`
    };
    std::vector<Run> clean;
    std::vector<Fall> bounce_falls;
    for (std::size_t r = 0; r < runs.size();) {
        if (!spurious[r] || clean.empty()) {
            clean.push_back(runs[r]);
            ++r;
            continue;
        }
        // Spurious runs r..last, between the run kept before them and the run after them, which is
        // never spurious: the recording's last run is partial.
        std::size_t last = r;
        while (last + 1 < runs.size() && spurious[last + 1])
            ++last;
        if (last + 1 >= runs.size())
            break;
        Run &before = clean.back();
        const Run &after = runs[last + 1];
        if (before.light == after.light && !joins(pulses, runs, clean, typical, r, last)) {
            // Joining would make a run that the strip does not have, or take out a hole or a bar
            // that its spacing says was there: the last of the runs is that one, short because the
            // bounces before it took its readings, and the others are the bounces at the crossing
            // into it. A lone short run between two short runs of one kind is a bar or a hole of
            // its own, as a fast cart makes them.
            if (last > r) {
                spurious[last] = false;
                continue;
            }
            clean.push_back(runs[r]);
            ++r;
            continue;
        }
        if (before.light == after.light) {
            // A drop inside a hole or a bar, or bounces that came back: one run, ended by the fall
            // of the run after them.
            before.end = after.end;
            before.partial = before.partial || after.partial;
            before.pulse = after.pulse;
        } else {
            // Bounces at a crossing: the crossing lies in their middle.
            const double middle = (runs[r].start + runs[last].end) / 2;
            before.end = middle;
            if (before.light) {
                for (std::size_t s = r; s <= last; ++s)
                    if (runs[s].light)
                        bounce_falls.push_back({runs[s].pulse, clean.size() - 1});
                // The fall of the light run itself lies at the start of the bounces.
                bounce_falls.push_back({before.pulse, clean.size() - 1});
            }
            Run next = after;
            next.start = middle;
            clean.push_back(next);
        }
        r = last + 2;
    }

    std::vector<std::int32_t> hole_of_run(clean.size(), -1);
    for (std::size_t r = 0; r < clean.size(); ++r) {
        const Run &run = clean[r];
        // A light run followed by a dark one is a hole; the recording always ends dark.
        if (!run.light || r + 1 >= clean.size() || run.pulse < 0)
            continue;
        hole_of_run[r] = static_cast<std::int32_t>(reading.holes.size());
        reading.holes.push_back({run.end, run.partial ? -1.0 : run.start, 0, run.pulse});
        reading.owner[static_cast<std::size_t>(run.pulse)] = hole_of_run[r];
    }
    for (const Fall &fall : bounce_falls)
        if (fall.pulse >= 0 && hole_of_run[fall.light_run] >= 0)
            reading.owner[static_cast<std::size_t>(fall.pulse)] = hole_of_run[fall.light_run];
    join_close_falls(reading);
    return reading;
}

}  // namespace analysis
