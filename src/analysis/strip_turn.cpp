// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/strip_rules.h"

#include <algorithm>

namespace analysis::strip_rules {

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

}  // namespace analysis::strip_rules
