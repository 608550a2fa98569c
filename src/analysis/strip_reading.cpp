// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/strip_reading.h"

#include <algorithm>
#include <limits>

namespace analysis {
namespace {

// The typical run of a kind is the median of up to this many runs of that kind on each side.
constexpr std::size_t kTypicalRuns = 6;
constexpr std::size_t kFewestTypicalRuns = 3;
// A run is spurious at this share of the typical run or less, and this many readings short of
// it at least. Timing by whole readings makes a run up to a reading longer or shorter than it
// was, so below kLeastTypicalReadings a short run may be an ordinary one.
constexpr double kSpuriousShare = 0.34;
constexpr double kSpuriousShortfall = 2.0;
constexpr double kLeastTypicalReadings = 3.5;
// Joining the runs around a drop takes out a fall; it must leave a gap of one pitch, at most this
// share longer than the typical gap between falls nearby. A short light run whose fall keeps the
// strip's spacing is a hole, however few readings saw it.
constexpr double kJoinedGapShare = 1.4;

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

std::vector<bool> spurious_runs(const std::vector<Run> &runs)
{
    std::vector<bool> spurious(runs.size(), false);
    std::vector<double> nearby;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (runs[r].partial)
            continue;
        // Runs of the same kind stand every other place.
        nearby.clear();
        for (std::size_t step = 1; step <= kTypicalRuns; ++step) {
            const std::size_t offset = 2 * step;
            if (r >= offset && !runs[r - offset].partial)
                nearby.push_back(runs[r - offset].length());
            if (r + offset < runs.size() && !runs[r + offset].partial)
                nearby.push_back(runs[r + offset].length());
        }
        if (nearby.size() < kFewestTypicalRuns)
            continue;
        const auto middle = nearby.begin() + static_cast<std::ptrdiff_t>(nearby.size() / 2);
        std::nth_element(nearby.begin(), middle, nearby.end());
        const double typical = *middle;
        const double length = runs[r].length();
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
        // Light amid a bar: the falls of the holes on either side.
        if (before.partial || last + 2 >= runs.size() || !runs[last + 2].light)
            return true;
        previous_fall = before.start;
        next_fall = runs[last + 2].end;
        near_pulse = runs[first].pulse;
    }
    const double typical = median_gap_near(pulses, near_pulse);
    return !(typical > 0) || next_fall - previous_fall <= kJoinedGapShare * typical;
}

}  // namespace

StripReading read_strip(const std::vector<Pulse> &pulses)
{
    StripReading reading;
    reading.owner.assign(pulses.size(), -1);
    const std::vector<Run> runs = runs_of(pulses);
    const std::vector<bool> spurious = spurious_runs(runs);

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
        if (before.light == after.light && !joins_to_a_pitch(pulses, runs, clean, r, last)) {
            for (std::size_t s = r; s <= last; ++s)
                clean.push_back(runs[s]);
            r = last + 1;
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
    return reading;
}

}  // namespace analysis
