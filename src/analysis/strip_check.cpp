// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/strip_check.h"

#include "analysis/strip_reading.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace analysis {
namespace {

// The spacing on each side of a gap is taken over this many gaps.
constexpr std::int32_t kTrendGaps = 4;
// The two sides must agree this closely (larger over smaller) for a gap to be judged against them.
constexpr double kSidesAgree = 1.35;
// A gap is a missed hole when it exceeds the spacing by this share of it, and at least by this
// many readings: timing by whole readings makes a gap up to one reading longer than it was.
constexpr double kLongShare = 0.4;
constexpr double kLongReadings = 1.25;
// Edges this much closer than the spacing around a long gap mean readings that flicker, not a
// strip.
constexpr double kShortShare = 0.5;
// The spacing on one side changes by more than this share, and by more than a reading per pitch,
// from its far half to its near half: the cart is slowing down or speeding up there.
constexpr double kSpeedChangeShare = 0.15;
constexpr double kSpeedChangeReadings = 1.0;
// The rule runs again with the gaps it found counted, at most this many times.
constexpr int kMostPasses = 4;
// A single reading inside a hole (or a bar) that is this share of the pitch fits the strip only
// when the pitch took fewer than 2 / share readings; the margin allows for the estimated share.
constexpr double kSingleReadingMargin = 2.5;
// The share of the pitch that is hole is read from this many pitches at least, and a strip's holes
// are at least this share of the pitch and at most one less it (0.6 to 12 mm).
constexpr std::int32_t kFewestSharePitches = 3;
constexpr double kLeastHoleShare = 0.05;
// Where the narrower of hole and bar took this many readings or more nearby, no hole can pass
// between two readings at a speed that agrees on both sides to kSidesAgree (a hole is missed only
// when it takes less than a reading), the mean of whole readings allowed for: a gap of missing
// holes is the strip's.
constexpr double kTornLeastReadings = 2.0;
constexpr std::int32_t kTornNeighbours = 4;
// The runs at the ends of a gap judge it where the two light runs took this many readings or more
// each on the mean, agree to this share and a reading, and the gap's dark run comes within this
// share of a pitch of a whole number of them.
constexpr double kRunLeastReadings = 4.0;
constexpr double kRunsAgree = 0.35;
constexpr double kRunPitchTolerance = 0.3;
// The cart kept one speed where the light runs of this many holes are within this share of their
// mean, and a reading; their mean then judges a gap from this many readings.
constexpr int kSteadyHoles = 4;
constexpr double kSteadyShare = 0.2;
constexpr double kSteadyLeastReadings = 3.0;
// The last gap is judged from the spacing before it where the last holes' light runs took this
// many readings on the mean.
constexpr double kEndLeastReadings = 2.5;
// A stop or a turn: the spacing per pitch at one gap is at least twice the spacing two and three
// gaps away on both sides, and this many readings more; with spacings of at least
// kTurnLeastReadings, where timing by whole readings cannot make such a peak.
constexpr double kTurnFactor = 2.0;
constexpr double kTurnReadings = 1.5;
constexpr double kTurnLeastReadings = 1.5;
constexpr double kTurnLeastRun = 2.0;
constexpr double kLongRunFactor = 3.0;
constexpr double kLongRunReadings = 4.0;
// A turn seen in the light runs of four holes: the two nearest it alike to this share and a
// reading, and as the two farther out, and slower than them by this factor at least.
constexpr double kMirrorAlike = 0.15;
constexpr double kMirrorSlowing = 1.35;
// A bounce: three gaps on each side, each side even to this share and a reading, and the speed
// after at most 1 / kBounceDrop of the speed before, by two readings a pitch at least.
constexpr std::int32_t kBounceGaps = 3;
constexpr double kBounceEven = 1.25;
constexpr double kBounceDrop = 1.6;
constexpr double kBounceReadings = 2.0;
// The fastest speed: a window of holes counts at most this many times the median speed of its
// gaps and of this many on either side.
constexpr double kSpeedJump = 1.1;
constexpr std::int32_t kSpeedWindows = 3;

// Bounces in this share of the sections or more leave the period unjudged.
constexpr double kBouncyShare = 4.0;

struct Gap {
    double readings = 0;       // from one hole's fall to the next
    std::int32_t pitches = 1;  // holes of the strip it spans, as the check counts them
};

class Judge {
public:
    explicit Judge(const std::vector<Gap> &gaps) : gaps_(gaps), count_(static_cast<std::int32_t>(gaps.size())) { }

    // Readings per pitch over gaps [from, to), with the pitches of the last pass; absent when the
    // range leaves the gaps or holds no pitch.
    std::optional<double> spacing(std::int32_t from, std::int32_t to) const
    {
        if (from < 0 || to > count_ || from >= to)
            return std::nullopt;
        double readings = 0;
        std::int32_t pitches = 0;
        for (std::int32_t i = from; i < to; ++i) {
            readings += gaps_[static_cast<std::size_t>(i)].readings;
            pitches += gaps_[static_cast<std::size_t>(i)].pitches;
        }
        // Edges out of order are no strip at all.
        if (pitches < 1 || !(readings > 0))
            return std::nullopt;
        return readings / pitches;
    }

    // Whether the spacing grows from the far half of a side to its near half (towards gap j):
    // on the left the cart slows down into gap j, on the right it speeds up away from it.
    bool grows_towards(std::int32_t j, bool left) const
    {
        const std::int32_t half = kTrendGaps / 2;
        const std::optional<double> near = left ? spacing(j - half, j) : spacing(j + 1, j + 1 + half);
        const std::optional<double> far
            = left ? spacing(j - kTrendGaps, j - half) : spacing(j + 1 + half, j + 1 + kTrendGaps);
        if (!near || !far)
            return false;
        return *near - *far > std::max(kSpeedChangeShare * *far, kSpeedChangeReadings);
    }

    // Whether gap i, per pitch, is within the tolerance of a missed hole around `trend`.
    bool near_trend(std::int32_t i, double trend) const
    {
        const std::optional<double> per_pitch = spacing(i, i + 1);
        return per_pitch && std::fabs(*per_pitch - trend) < std::max(kLongShare * trend, kLongReadings);
    }

    // The pitches gap j spans when it is a gap of holes not seen around `trend` (2 or 3), else 0.
    std::int32_t unseen_pitches(std::int32_t j, double trend) const
    {
        const double readings = gaps_[static_cast<std::size_t>(j)].readings;
        if (readings - trend < std::max(kLongShare * trend, kLongReadings))
            return 0;
        const auto pitches = std::max<std::int32_t>(2, static_cast<std::int32_t>(std::lround(readings / trend)));
        // Longer still is a cart that stood for a while, not holes that went by.
        return pitches <= 3 ? pitches : 0;
    }

    // Whether the gaps [from, to) other than gap j and its two neighbours, per pitch as the last
    // pass counted them, fit an even strip around `trend`: other holes lost nearby are counted on
    // the next pass, but edges far closer than the spacing mean readings that flicker.
    bool regular(std::int32_t j, std::int32_t from, std::int32_t to, double trend) const
    {
        for (std::int32_t i = from; i < to; ++i) {
            if (i >= j - 1 && i <= j + 1)
                continue;
            const std::optional<double> per_pitch = spacing(i, i + 1);
            if (!per_pitch || *per_pitch < kShortShare * trend)
                return false;
        }
        return true;
    }

    // The spacing around gap j from both sides when they agree and the strip is regular there.
    // Near the end of the recording, from the left alone where the cart was not slowing down and
    // the gap after it is back near the spacing. Near the start a cart usually speeds up fast,
    // which one side cannot tell from a loss.
    std::optional<double> trend(std::int32_t j) const
    {
        const std::optional<double> left = spacing(j - kTrendGaps, j);
        const std::optional<double> right = spacing(j + 1, j + 1 + kTrendGaps);
        if (left && right) {
            if (std::max(*left, *right) > kSidesAgree * std::min(*left, *right))
                return std::nullopt;
            // A cart that slows into the gap and speeds up after it turned round or stood still.
            if (grows_towards(j, true) && grows_towards(j, false))
                return std::nullopt;
            const double both = (*left + *right) / 2;
            if (!regular(j, j - kTrendGaps, j + 1 + kTrendGaps, both))
                return std::nullopt;
            return both;
        }
        if (left && !grows_towards(j, true) && near_trend(j + 1, *left) && regular(j, j - kTrendGaps, j, *left))
            return left;
        // Near the start, from the right where every gap before it is already at that spacing: a
        // cart speeding up from rest has longer gaps first, not a long one between short ones.
        if (right && !left && j >= 1 && !grows_towards(j, false) && regular(j, j + 1, j + 1 + kTrendGaps, *right)) {
            for (std::int32_t i = 0; i < j; ++i)
                if (!near_trend(i, *right))
                    return std::nullopt;
            return right;
        }
        return std::nullopt;
    }

private:
    const std::vector<Gap> &gaps_;
    std::int32_t count_;
};

// The light run of hole h and the dark run before it, in readings; negative when not known.
double light_of(const std::vector<StripHole> &holes, std::size_t h)
{
    return holes[h].rising >= 0 ? holes[h].falling - holes[h].rising : -1;
}
double dark_before(const std::vector<StripHole> &holes, const std::vector<Gap> &gaps, std::size_t h)
{
    if (h == 0 || holes[h].rising < 0 || gaps[h - 1].pitches != 1)
        return -1;
    return holes[h].rising - holes[h - 1].falling;
}

// The holes not seen in gap j from the runs at either end of it alone, where the spacing on its
// sides cannot tell (near the start or the end of a recording): the two holes' light runs give
// the speed there when they agree, and the strip's ratio of bar to hole the time a pitch takes at
// it. The gap's dark run must then fit a whole number of pitches, 2 or 3, closely. 0 where the
// runs do not tell.
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

// The gap where the cart stopped, turned round or bounced back, or -1: the first gap whose
// spacing per pitch peaks far above the spacing two and three gaps away on both sides (the speed
// fell towards zero and rose again), or before which the speed was even and after which it is
// much lower and even again (it dropped at once at an end stop). Where the gap of a bounce is as
// long as those after it, the gap before it is taken: the edges before a turn are never more than
// there were.
struct Turn {
    std::int32_t gap = -1;
    // The holes before it that the cart passed on its way out for sure.
    std::int32_t holes_out = 0;
};

Turn turn_gap(const std::vector<Gap> &gaps, const std::vector<StripHole> &holes)
{
    const Judge judge(gaps);
    const auto count = static_cast<std::int32_t>(gaps.size());
    // Where holes or bars took a single reading, holes pass unseen many at a time, which makes a
    // gap as long as a stop: no turn is told there.
    auto seen_well = [&](std::int32_t m) {
        for (std::int32_t h = std::max(0, m - 1); h <= std::min(count, m + 2); ++h) {
            const double light = light_of(holes, static_cast<std::size_t>(h));
            const double dark = dark_before(holes, gaps, static_cast<std::size_t>(h));
            if ((light >= 0 && light < kTurnLeastRun) || (dark >= 0 && dark < kTurnLeastRun))
                return false;
        }
        return true;
    };
    auto per_pitch = [&](std::int32_t i) { return judge.spacing(i, i + 1).value_or(0); };
    auto even = [&](std::int32_t from, std::int32_t to, double &mean) {
        double lowest = per_pitch(from);
        double highest = lowest;
        for (std::int32_t i = from; i < to; ++i) {
            if (gaps[static_cast<std::size_t>(i)].pitches != 1)
                return false;
            lowest = std::min(lowest, per_pitch(i));
            highest = std::max(highest, per_pitch(i));
        }
        mean = judge.spacing(from, to).value_or(0);
        return highest <= kBounceEven * lowest + 1;
    };
    // A run far longer than those of its kind on either side: the cart stood or turned inside
    // that hole or bar, and came out again.
    // At the recording's last hole there is no run after it: the cart slowing into it will do.
    auto long_run = [&](double run, double before, double after) {
        return run > 0 && before >= kTurnLeastRun && (after >= kTurnLeastRun || after < 0)
            && run >= kLongRunFactor * std::max(before, after) + kLongRunReadings;
    };
    auto dark_of = [&](std::int32_t h) {
        const auto hole = static_cast<std::size_t>(h);
        return h >= 1 && holes[hole].rising >= 0 ? holes[hole].rising - holes[hole - 1].falling : -1.0;
    };
    for (std::int32_t m = 0; m < count; ++m) {
        if (!seen_well(m))
            continue;
        // The holes on either side of gap m passed twice, out and back, slower nearer the turn: their
        // light runs mirror each other about the gap. This needs no more than four holes.
        if (m >= 1 && static_cast<std::size_t>(m + 2) < holes.size()) {
            const auto hole = static_cast<std::size_t>(m);
            const double near_out = light_of(holes, hole);
            const double near_back = light_of(holes, hole + 1);
            const double far_out = light_of(holes, hole - 1);
            const double far_back = light_of(holes, hole + 2);
            auto alike = [](double a, double b) {
                return a > 0 && b > 0 && std::fabs(a - b) <= kMirrorAlike * std::max(a, b) + 1;
            };
            if (far_out >= kTurnLeastRun && alike(near_out, near_back) && alike(far_out, far_back)
                && near_out >= kMirrorSlowing * far_out + 1 && near_back >= kMirrorSlowing * far_back + 1)
                return {m, m + 1};
        }
        // At the recording's last hole, the cart slowing into the last gap, which is the longest,
        // and the hole after it as slow as the one before: a cart going on would have slowed on.
        if (m >= 1 && static_cast<std::size_t>(m + 2) == holes.size()) {
            const auto hole = static_cast<std::size_t>(m);
            const double near_out = light_of(holes, hole);
            const double near_back = light_of(holes, hole + 1);
            const double far_out = light_of(holes, hole - 1);
            if (far_out >= kTurnLeastRun && near_back > 0
                && std::fabs(near_out - near_back) <= kMirrorAlike * std::max(near_out, near_back) + 1
                && near_out >= kMirrorSlowing * far_out + 1 && per_pitch(m) > per_pitch(m - 1))
                return {m, m + 1};
        }
        // Gap m holds the light run of hole m + 1 and the dark run before it.
        const auto inside = static_cast<std::size_t>(m + 1);
        const bool next_hole = inside + 1 < holes.size();
        const bool slowing = next_hole || (m >= 2 && per_pitch(m - 1) > per_pitch(m - 2));
        if (slowing
            && (long_run(
                    light_of(holes, inside), light_of(holes, inside - 1), next_hole ? light_of(holes, inside + 1) : -1)
                || (gaps[static_cast<std::size_t>(m)].pitches == 1
                    && long_run(dark_of(m + 1), dark_of(m), next_hole ? dark_of(m + 2) : -1))))
            return {m, m + 1};
        if (m < 2 || m + 2 >= count)
            continue;
        const double peak = per_pitch(m);
        const double far_left = judge.spacing(std::max(0, m - 3), m - 1).value_or(0);
        const double far_right = judge.spacing(m + 2, std::min(count, m + 4)).value_or(0);
        if (peak >= per_pitch(m - 1) && peak >= per_pitch(m + 1) && far_left >= kTurnLeastReadings
            && far_right >= kTurnLeastReadings && peak >= kTurnFactor * far_left + kTurnReadings
            && peak >= kTurnFactor * far_right + kTurnReadings)
            // The peak may lie one gap either side of the turn itself.
            return {m, m};
        // The gap of the bounce itself may be of any length: the stop may come just after a fall
        // or long after it.
        double before = 0;
        double after = 0;
        if (m >= kBounceGaps && m + kBounceGaps < count && even(m - kBounceGaps, m, before)
            && even(m + 1, m + 1 + kBounceGaps, after) && after >= kBounceDrop * before
            && after >= before + kBounceReadings)
            return {m, m};
    }
    return {};
}

}  // namespace

StripCheck check_strip(
    const std::vector<Pulse> &pulses, std::int16_t holes_per_section, std::int32_t sections, float sample_rate)
{
    StripCheck check;
    StripReading reading = read_strip(pulses);
    std::vector<StripHole> &holes = reading.holes;
    const auto hole_count = static_cast<std::int32_t>(holes.size());

    std::vector<Gap> gaps;
    for (std::int32_t h = 0; h + 1 < hole_count; ++h)
        gaps.push_back(
            {holes[static_cast<std::size_t>(h + 1)].falling - holes[static_cast<std::size_t>(h)].falling, 1});
    count_pitches(gaps, holes);
    for (std::int32_t h = 1; h < hole_count; ++h)
        holes[static_cast<std::size_t>(h)].pitch
            = holes[static_cast<std::size_t>(h - 1)].pitch + gaps[static_cast<std::size_t>(h - 1)].pitches;
    check.edge_pitch.assign(pulses.size(), -1);
    for (const StripHole &hole : holes)
        check.edge_pitch[static_cast<std::size_t>(hole.pulse)] = hole.pitch;
    const Turn turned = turn_gap(gaps, holes);
    const std::int32_t turn = turned.gap;
    check.holes_before_turn = turn >= 0 ? turned.holes_out : hole_count;

    if (holes_per_section < 1 || !(sample_rate > 0) || pulses.size() < 2) {
        check.holes = std::move(holes);
        return check;
    }
    const std::int32_t holes_per = holes_per_section;
    check.period_ms = 1000.0 / sample_rate;

    // Gap j between pulses j and j + 1 lies in section j / holes_per + 1; the gap between holes
    // h and h + 1 spans the gaps of the pulses between theirs.
    std::set<std::int32_t> missed, extra, coarse, torn;
    auto add_pulse_gap = [&](std::set<std::int32_t> &into, std::int32_t j) {
        const std::int32_t section = j / holes_per + 1;
        if (section >= 1 && section <= sections)
            into.insert(section);
    };
    auto add_hole_gap = [&](std::set<std::int32_t> &into, std::int32_t h) {
        for (std::int32_t j = holes[static_cast<std::size_t>(h)].pulse;
             j < holes[static_cast<std::size_t>(h + 1)].pulse; ++j)
            add_pulse_gap(into, j);
    };

    // A fall that is not its hole's own is a bounce: the gaps on both sides of it are no pitch of
    // the strip, and where it ends one section and begins the next, both are timed by it. At and
    // after a turn the strip passes back, and what looks like a bounce is told as the turn.
    // The holes next to a bounce had their runs cut by it: they tell nothing of the strip's holes.
    std::vector<bool> bounced(holes.size(), false);
    const std::int32_t turn_pulse = turn >= 0 && check.holes_before_turn >= 1
        ? holes[static_cast<std::size_t>(check.holes_before_turn - 1)].pulse
        : (turn >= 0 ? -1 : static_cast<std::int32_t>(pulses.size()));
    // A hole's own fall among bounces is read up to the bounces' length early or late: the
    // sections it ends and begins are named as well.
    std::vector<std::int32_t> falls_of(holes.size(), 0);
    for (const std::int32_t owner : reading.owner)
        if (owner >= 0)
            ++falls_of[static_cast<std::size_t>(owner)];
    for (std::size_t p = 0; p < pulses.size(); ++p) {
        const std::int32_t owner = reading.owner[p];
        if (owner >= 0 && holes[static_cast<std::size_t>(owner)].pulse == static_cast<std::int32_t>(p)
            && falls_of[static_cast<std::size_t>(owner)] == 1)
            continue;
        for (std::size_t q = p > 0 ? p - 1 : p; q <= p + 1 && q < pulses.size(); ++q)
            if (reading.owner[q] >= 0)
                bounced[static_cast<std::size_t>(reading.owner[q])] = true;
        if (static_cast<std::int32_t>(p) > turn_pulse)
            continue;
        if (p > 0)
            add_pulse_gap(extra, static_cast<std::int32_t>(p) - 1);
        if (p + 1 < pulses.size())
            add_pulse_gap(extra, static_cast<std::int32_t>(p));
    }

    // Holes not seen: passed between two readings, or missing from the strip; after a turn the
    // strip passes back, and the gap of the turn itself is no run of holes.
    for (std::int32_t h = 0; h + 1 < check.holes_before_turn; ++h) {
        if (gaps[static_cast<std::size_t>(h)].pitches <= 1)
            continue;
        const bool lacks = strip_lacks_holes(holes, gaps, h);
        // Beside a bounce, the gap may be one that taking the bounce out made: the bounce is told.
        const bool beside_bounce = bounced[static_cast<std::size_t>(h)] || bounced[static_cast<std::size_t>(h + 1)];
        add_hole_gap(beside_bounce ? extra : lacks ? torn : missed, h);
        holes[static_cast<std::size_t>(h + 1)].after_unseen = !lacks;
    }

    if (turn >= 0) {
        std::set<std::int32_t> at_turn;
        add_hole_gap(at_turn, turn);
        if (!at_turn.empty())
            check.turn_section = *at_turn.begin();
    }

    // The share of the pitch that is hole: the light readings of the holes over the readings of
    // the pitches they end, leaving out the pitches a bounce cut where enough others are left.
    double light = 0;
    double readings = 0;
    std::int32_t pitches_read = 0;
    auto uncut = [&](std::int32_t h) {
        return !bounced[static_cast<std::size_t>(h)] && !bounced[static_cast<std::size_t>(h - 1)];
    };
    for (const bool leave_cut_out : {true, false}) {
        light = 0;
        readings = 0;
        pitches_read = 0;
        for (std::int32_t h = 1; h < hole_count; ++h) {
            const double run = light_of(holes, static_cast<std::size_t>(h));
            if (run >= 0 && gaps[static_cast<std::size_t>(h - 1)].pitches == 1 && (!leave_cut_out || uncut(h))) {
                light += run;
                readings += gaps[static_cast<std::size_t>(h - 1)].readings;
                ++pitches_read;
            }
        }
        if (pitches_read >= kFewestSharePitches)
            break;
    }
    // A share from a pitch or two, or one that no punched strip has, tells nothing of the period.
    const double hole_share = readings > 0 && pitches_read >= kFewestSharePitches ? light / readings : 0.0;
    const double narrower_share = hole_share >= kLeastHoleShare && hole_share <= 1 - kLeastHoleShare
        ? std::min(hole_share, 1.0 - hole_share)
        : 0.0;
    if (narrower_share > 0) {
        check.narrower_cm = narrower_share * common::kHolePitchCm;
        check.followable_speed_cm_s = *check.narrower_cm * sample_rate;
    }

    // Holes and bars seen by a single reading, and falls two readings apart, where the strip's
    // spacing says that the period is at its limit.
    const Judge local(gaps);
    for (std::int32_t h = 1; h < hole_count; ++h) {
        const auto hole = static_cast<std::size_t>(h);
        const double light_run = light_of(holes, hole);
        const double dark_run = dark_before(holes, gaps, hole);
        const std::optional<double> spacing
            = local.spacing(std::max(0, h - 2), std::min(static_cast<std::int32_t>(gaps.size()), h + 1));
        if (!spacing || !uncut(h))
            continue;
        auto fits_the_strip = [&](double share) {
            return narrower_share > 0 && share > 0 && *spacing <= kSingleReadingMargin / share + 1;
        };
        const bool single_hole = light_run == 1 && fits_the_strip(hole_share);
        const bool single_bar = dark_run == 1 && fits_the_strip(1.0 - hole_share);
        const bool close_edges = gaps[hole - 1].readings <= 2 && fits_the_strip(narrower_share);
        if (single_hole || single_bar || close_edges)
            add_hole_gap(coarse, h - 1);
    }

    // The fastest speed over as many holes as a section has, on the graph and before any turn. A
    // cart changes its speed smoothly: a window faster than the gaps around it holds a bounce that
    // no rule took out, and counts at little more than their median speed. Windows a bounce cut
    // are left out where any other is left.
    const std::int32_t last_edge = sections * holes_per;
    auto speed_between = [&](std::int32_t from, std::int32_t to) {
        const StripHole &first = holes[static_cast<std::size_t>(from)];
        const StripHole &last = holes[static_cast<std::size_t>(to)];
        const double seconds = (last.falling - first.falling) / static_cast<double>(sample_rate);
        return seconds > 0 ? (last.pitch - first.pitch) * common::kHolePitchCm / seconds : 0.0;
    };
    auto bounce_between = [&](std::int32_t from, std::int32_t to) {
        for (std::int32_t j = holes[static_cast<std::size_t>(from)].pulse;
             j < holes[static_cast<std::size_t>(to)].pulse; ++j)
            if (extra.count(j / holes_per + 1))
                return true;
        return false;
    };
    // Where bounces cut every window, the speed is not known.
    for (const bool leave_cut_out : {true, false}) {
        if (!leave_cut_out && !extra.empty())
            break;
        for (std::int32_t h = 0; h + holes_per < check.holes_before_turn; ++h) {
            if (holes[static_cast<std::size_t>(h + holes_per)].pulse > last_edge)
                break;
            if (leave_cut_out && (std::any_of(bounced.begin() + h, bounced.begin() + h + holes_per + 1, [](bool b) {
                    return b;
                }) || bounce_between(h, h + holes_per)))
                continue;
            double speed = speed_between(h, h + holes_per);
            std::vector<double> around;
            for (std::int32_t g = std::max(0, h - kSpeedWindows);
                 g < std::min(check.holes_before_turn - 1, h + holes_per + kSpeedWindows); ++g)
                if (const double gap_speed = speed_between(g, g + 1); gap_speed > 0)
                    around.push_back(gap_speed);
            if (around.size() > static_cast<std::size_t>(kSpeedWindows)) {
                const auto middle = around.begin() + static_cast<std::ptrdiff_t>(around.size() / 2);
                std::nth_element(around.begin(), middle, around.end());
                speed = std::min(speed, kSpeedJump * *middle);
            }
            if (speed > 0 && (!check.fastest_section_cm_s || speed > *check.fastest_section_cm_s))
                check.fastest_section_cm_s = speed;
        }
        if (check.fastest_section_cm_s)
            break;
    }
    if (check.narrower_cm && check.fastest_section_cm_s && *check.fastest_section_cm_s > 0)
        check.longest_period_ms = *check.narrower_cm / (2 * *check.fastest_section_cm_s) * 1000.0;

    check.missed_hole_sections.assign(missed.begin(), missed.end());
    check.extra_edge_sections.assign(extra.begin(), extra.end());
    // Edges close together and single readings where the reading bounced are the bounce's doing;
    // where it bounced in many sections, nothing the readings show tells of the period, which can
    // be judged again once the sensor reads cleanly.
    for (const std::int32_t section : extra)
        coarse.erase(section);
    if (kBouncyShare * static_cast<double>(extra.size()) >= static_cast<double>(std::max(sections, 1))) {
        coarse.clear();
        check.fastest_section_cm_s.reset();
        check.longest_period_ms.reset();
    }
    check.coarse_period_sections.assign(coarse.begin(), coarse.end());
    check.torn_hole_sections.assign(torn.begin(), torn.end());
    check.holes = std::move(holes);
    return check;
}

PeriodRemedy period_remedy(const StripCheck &check)
{
    using Kind = PeriodRemedy::Kind;
    const auto period_ms = static_cast<std::int32_t>(std::lround(check.period_ms));
    const double longest_ms = check.longest_period_ms.value_or(0);
    if (!(longest_ms > 0))
        return {Kind::MeasureAgain, 0};
    // At 2 x longest_ms the narrower of hole and bar takes one period to pass.
    if (2 * longest_ms < 1 || (period_ms <= 1 && longest_ms < 1))
        return {Kind::SlowerCart, 0};
    if (std::floor(longest_ms) >= period_ms)
        return {Kind::MeasureAgain, 0};
    if (longest_ms < 2)
        return {Kind::OneMillisecond, 1};
    return {Kind::ShorterPeriod, static_cast<std::int32_t>(std::floor(longest_ms))};
}

StripAnalysis analyse_strip(const common::MeasurementState &state)
{
    StripAnalysis strip;
    strip.pulses = scan_pulses(state.samples, state.last_sample);
    strip.holes_per_section = state.holes_per_section;
    strip.sections = state.edge_count;
    strip.sample_rate = state.sample_rate;
    strip.check = check_strip(strip.pulses, strip.holes_per_section, strip.sections, strip.sample_rate);
    return strip;
}

}  // namespace analysis
