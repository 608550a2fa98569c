// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The rules of the strip check that read the strip from its holes: the gaps between their falls
// and the pitches each spans, the holes missing from the strip, and where the cart turned. Shared
// by the files of the check; nothing outside the check uses them.

#include "analysis/strip_check.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

namespace analysis::strip_rules {

// The spacing on each side of a gap is taken over this many gaps.
inline constexpr std::int32_t kTrendGaps = 4;
// The two sides must agree this closely (larger over smaller) for a gap to be judged against them.
inline constexpr double kSidesAgree = 1.35;
// A gap is a missed hole when it exceeds the spacing by this share of it, and at least by this
// many readings: timing by whole readings makes a gap up to one reading longer than it was.
inline constexpr double kLongShare = 0.4;
inline constexpr double kLongReadings = 1.25;
// Edges this much closer than the spacing around a long gap mean readings that flicker, not a
// strip.
inline constexpr double kShortShare = 0.5;
// The spacing on one side changes by more than this share, and by more than a reading per pitch,
// from its far half to its near half: the cart is slowing down or speeding up there.
inline constexpr double kSpeedChangeShare = 0.15;
inline constexpr double kSpeedChangeReadings = 1.0;
// The rule runs again with the gaps it found counted, at most this many times.
inline constexpr int kMostPasses = 4;
// Where the narrower of hole and bar took this many readings or more nearby, no hole can pass
// between two readings at a speed that agrees on both sides to kSidesAgree (a hole is missed only
// when it takes less than a reading), the mean of whole readings allowed for: a gap of missing
// holes is the strip's.
inline constexpr double kTornLeastReadings = 2.0;
inline constexpr std::int32_t kTornNeighbours = 4;
// The runs at the ends of a gap judge it where the two light runs took this many readings or more
// each on the mean, agree to this share and a reading, and the gap's dark run comes within this
// share of a pitch of a whole number of them.
inline constexpr double kRunLeastReadings = 4.0;
inline constexpr double kRunsAgree = 0.35;
inline constexpr double kRunPitchTolerance = 0.3;
// The cart kept one speed where the light runs of this many holes are within this share of their
// mean, and a reading; their mean then judges a gap from this many readings.
inline constexpr int kSteadyHoles = 4;
inline constexpr double kSteadyShare = 0.2;
inline constexpr double kSteadyLeastReadings = 3.0;
// The last gap is judged from the spacing before it where the last holes' light runs took this
// many readings on the mean.
inline constexpr double kEndLeastReadings = 2.5;
// A stop or a turn: the spacing per pitch at one gap is at least twice the spacing two and three
// gaps away on both sides, and this many readings more; with spacings of at least
// kTurnLeastReadings, where timing by whole readings cannot make such a peak.
inline constexpr double kTurnFactor = 2.0;
inline constexpr double kTurnReadings = 1.5;
inline constexpr double kTurnLeastReadings = 1.5;
inline constexpr double kTurnLeastRun = 2.0;
inline constexpr double kLongRunFactor = 3.0;
inline constexpr double kLongRunReadings = 4.0;
// A turn seen in the light runs of four holes: the two nearest it alike to this share and a
// reading, and as the two farther out, and slower than them by this factor at least.
inline constexpr double kMirrorAlike = 0.15;
inline constexpr double kMirrorSlowing = 1.35;
// A bounce: three gaps on each side, each side even to this share and a reading, and the speed
// after at most 1 / kBounceDrop of the speed before, by two readings a pitch at least.
inline constexpr std::int32_t kBounceGaps = 3;
inline constexpr double kBounceEven = 1.25;
inline constexpr double kBounceDrop = 1.6;
inline constexpr double kBounceReadings = 2.0;

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
inline double light_of(const std::vector<StripHole> &holes, std::size_t h)
{
    return holes[h].rising >= 0 ? holes[h].falling - holes[h].rising : -1;
}
inline double dark_before(const std::vector<StripHole> &holes, const std::vector<Gap> &gaps, std::size_t h)
{
    if (h == 0 || holes[h].rising < 0 || gaps[h - 1].pitches != 1)
        return -1;
    return holes[h].rising - holes[h - 1].falling;
}

// The pitches of every gap: pass after pass, each counting the gaps the one before found as the
// pitches they span, until nothing changes; where the spacing on the sides cannot judge a gap, the
// runs at its ends may.
void count_pitches(std::vector<Gap> &gaps, const std::vector<StripHole> &holes);
// Whether the holes missing in gap j are the strip's own: the narrower of hole and bar took many
// readings in the holes around it.
bool strip_lacks_holes(const std::vector<StripHole> &holes, const std::vector<Gap> &gaps, std::int32_t j);

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

Turn turn_gap(const std::vector<Gap> &gaps, const std::vector<StripHole> &holes);

}  // namespace analysis::strip_rules
