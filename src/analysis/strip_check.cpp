// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/strip_check.h"

#include <algorithm>
#include <cmath>

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
// A gap is an edge counted twice when it is this share of the spacing or less, and at least this
// many readings short of it.
constexpr double kShortShare = 0.5;
constexpr double kShortReadings = 1.5;
// Below this many readings a pitch, where holes pass unseen and make the spacing look longer than
// it is, an ordinary gap can look short: no edge is called extra there.
constexpr double kShortLeastSpacing = 6.0;
// The spacing on one side changes by more than this share, and by more than a reading per pitch,
// from its far half to its near half: the cart is slowing down or speeding up there.
constexpr double kSpeedChangeShare = 0.15;
constexpr double kSpeedChangeReadings = 1.0;
// The rule runs again with the gaps it found counted, at most this many times.
constexpr int kMostPasses = 4;
// A single reading inside a hole (or a bar) that is this share of the pitch fits the strip only
// when the pitch took fewer than 2 / share readings; the margin allows for the estimated share.
constexpr double kSingleReadingMargin = 2.5;

enum class GapKind { Pitch, Missed, Extra };

struct Gap {
    std::int32_t readings = 0;  // from one falling edge to the next
    std::int32_t pitches = 1;   // holes of the strip it spans, as the check counts them
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

    // The pitches gap j spans when it is a gap of missed holes around `trend` (2 or 3), else 0.
    std::int32_t missed_pitches(std::int32_t j, double trend) const
    {
        const double readings = gaps_[static_cast<std::size_t>(j)].readings;
        if (readings - trend < std::max(kLongShare * trend, kLongReadings))
            return 0;
        const auto pitches = std::max<std::int32_t>(2, static_cast<std::int32_t>(std::lround(readings / trend)));
        // Longer still is a cart that stood for a while, not holes that went by.
        return pitches <= 3 ? pitches : 0;
    }

    bool is_short(std::int32_t j, double trend) const
    {
        const double readings = gaps_[static_cast<std::size_t>(j)].readings;
        return trend >= kShortLeastSpacing && readings <= kShortShare * trend && trend - readings >= kShortReadings;
    }

    // Whether the gaps [from, to) other than gap j and its two neighbours, per pitch as the last
    // pass counted them, fit an even strip around `trend`. For a short gap each must be near the
    // spacing: a hole lost nearby makes the spacing look longer and an ordinary gap short. For a
    // long gap none may be short: other holes lost nearby are counted on the next pass, but
    // edges far closer than the spacing mean readings that flicker, not a strip.
    bool regular(std::int32_t j, std::int32_t from, std::int32_t to, double trend, bool for_missed) const
    {
        for (std::int32_t i = from; i < to; ++i) {
            if (i >= j - 1 && i <= j + 1)
                continue;
            const std::optional<double> per_pitch = spacing(i, i + 1);
            if (!per_pitch || (for_missed ? *per_pitch < kShortShare * trend : !near_trend(i, trend)))
                return false;
        }
        return true;
    }

    // The spacing around gap j from both sides when they agree and the strip is regular there.
    // Near the end of the recording, for a missed hole, from the left alone where the cart was not
    // slowing down and the gap after it is back near the spacing. Near the start a cart usually
    // speeds up fast, which one side cannot tell from a loss.
    std::optional<double> trend(std::int32_t j, bool for_missed) const
    {
        const std::optional<double> left = spacing(j - kTrendGaps, j);
        const std::optional<double> right = spacing(j + 1, j + 1 + kTrendGaps);
        if (left && right) {
            if (std::max(*left, *right) > kSidesAgree * std::min(*left, *right))
                return std::nullopt;
            // A cart that slows into the gap and speeds up after it turned round or stood still.
            if (for_missed && grows_towards(j, true) && grows_towards(j, false))
                return std::nullopt;
            const double both = (*left + *right) / 2;
            if (!regular(j, j - kTrendGaps, j + 1 + kTrendGaps, both, for_missed))
                return std::nullopt;
            return both;
        }
        if (for_missed && left && !grows_towards(j, true) && near_trend(j + 1, *left)
            && regular(j, j - kTrendGaps, j, *left, true))
            return left;
        return std::nullopt;
    }

private:
    const std::vector<Gap> &gaps_;
    std::int32_t count_;
};

struct Judgement {
    std::vector<GapKind> kind;
    std::vector<std::int32_t> pitches;
    // For an extra gap: the neighbour it makes one pitch with (-1 or +1).
    std::vector<std::int32_t> partner;
};

// One pass of the rule over every gap, with the pitches of the previous pass in the spacings.
Judgement judge(const std::vector<Gap> &gaps)
{
    const auto count = static_cast<std::int32_t>(gaps.size());
    const Judge judge(gaps);
    Judgement result{std::vector<GapKind>(gaps.size(), GapKind::Pitch), std::vector<std::int32_t>(gaps.size(), 1),
        std::vector<std::int32_t>(gaps.size(), 0)};

    // Short gaps first: each pairs with the neighbour that makes up the pitch with it.
    std::vector<std::int32_t> short_partner(gaps.size(), 0);
    for (std::int32_t j = 0; j < count; ++j) {
        const std::optional<double> trend = judge.trend(j, false);
        if (!trend || !judge.is_short(j, *trend))
            continue;
        const auto readings = static_cast<double>(gaps[static_cast<std::size_t>(j)].readings);
        double best = std::max(kLongShare * *trend, kLongReadings);
        for (const std::int32_t side : {-1, 1}) {
            const std::int32_t n = j + side;
            if (n < 0 || n >= count)
                continue;
            const double miss = std::fabs(readings + gaps[static_cast<std::size_t>(n)].readings - *trend);
            if (miss < best) {
                best = miss;
                short_partner[static_cast<std::size_t>(j)] = side;
            }
        }
    }
    for (std::int32_t j = 0; j < count; ++j) {
        const std::int32_t side = short_partner[static_cast<std::size_t>(j)];
        if (side == 0)
            continue;
        // Of two short gaps that make one pitch together, only the shorter is the extra one.
        const auto n = static_cast<std::size_t>(j + side);
        if (short_partner[n] == -side
            && (gaps[n].readings < gaps[static_cast<std::size_t>(j)].readings
                || (gaps[n].readings == gaps[static_cast<std::size_t>(j)].readings && side < 0)))
            continue;
        result.kind[static_cast<std::size_t>(j)] = GapKind::Extra;
        result.pitches[static_cast<std::size_t>(j)] = 0;
        result.partner[static_cast<std::size_t>(j)] = side;
    }

    for (std::int32_t j = 0; j < count; ++j) {
        if (result.kind[static_cast<std::size_t>(j)] == GapKind::Extra)
            continue;
        const std::optional<double> trend = judge.trend(j, true);
        if (!trend)
            continue;
        if (const std::int32_t pitches = judge.missed_pitches(j, *trend); pitches > 0) {
            result.kind[static_cast<std::size_t>(j)] = GapKind::Missed;
            result.pitches[static_cast<std::size_t>(j)] = pitches;
        }
    }
    return result;
}

void add_section(std::vector<std::int32_t> &sections, std::int32_t section, std::int32_t last_section)
{
    if (section < 1 || section > last_section)
        return;
    if (sections.empty() || sections.back() < section)
        sections.push_back(section);
}

}  // namespace

StripCheck check_strip(
    const std::vector<Pulse> &pulses, std::int16_t holes_per_section, std::int32_t sections, float sample_rate)
{
    StripCheck check;
    const auto edges = static_cast<std::int32_t>(pulses.size());
    auto falling = [&](std::int32_t j) { return pulses[static_cast<std::size_t>(j)].falling; };

    // The rule, pass after pass: each pass counts the gaps the one before found as the pitches
    // they span, which evens out the strip around other gaps, until nothing changes.
    std::vector<Gap> gaps;
    for (std::int32_t j = 0; j + 1 < edges; ++j)
        gaps.push_back({falling(j + 1) - falling(j), 1});
    Judgement judgement;
    for (int pass = 0; pass < kMostPasses; ++pass) {
        judgement = judge(gaps);
        bool changed = false;
        for (std::size_t j = 0; j < gaps.size(); ++j) {
            changed = changed || gaps[j].pitches != judgement.pitches[j];
            gaps[j].pitches = judgement.pitches[j];
        }
        if (!changed)
            break;
    }

    // The pitch of each edge; of a pair counted twice, the edge the two gaps share is not a hole's.
    // Edges next to such a pair say nothing about the period either.
    std::vector<bool> beside_extra(pulses.size(), false);
    check.edge_pitch.assign(pulses.size(), 0);
    std::int32_t pitch = 0;
    for (std::int32_t j = 0; j < edges; ++j) {
        if (j > 0)
            pitch += gaps[static_cast<std::size_t>(j - 1)].pitches;
        check.edge_pitch[static_cast<std::size_t>(j)] = pitch;
    }
    for (std::int32_t j = 0; j + 1 < edges; ++j) {
        const std::int32_t side = judgement.partner[static_cast<std::size_t>(j)];
        if (side == 0)
            continue;
        const std::int32_t shared = side < 0 ? j : j + 1;
        check.edge_pitch[static_cast<std::size_t>(shared)] = -1;
        for (std::int32_t e = std::min(j, j + side); e <= std::max(j + 1, j + 1 + side); ++e)
            beside_extra[static_cast<std::size_t>(e)] = true;
    }

    if (holes_per_section < 1 || !(sample_rate > 0) || edges < 2)
        return check;
    const std::int32_t holes = holes_per_section;
    check.period_ms = 1000.0 / sample_rate;
    auto section_of_gap = [&](std::int32_t j) { return j / holes + 1; };

    // The share of the pitch that is hole: the light readings between the first and the last
    // falling edge, over all readings there. Each pulse after the first lies wholly inside.
    auto light_run = [&](std::int32_t j) {
        const Pulse &pulse = pulses[static_cast<std::size_t>(j)];
        return pulse.rising > falling(j - 1) ? pulse.falling - pulse.rising : -1;
    };
    double light = 0;
    double readings = 0;
    for (std::int32_t j = 1; j < edges; ++j) {
        if (light_run(j) >= 0) {
            light += light_run(j);
            readings += falling(j) - falling(j - 1);
        }
    }
    const double hole_share = readings > 0 ? light / readings : 0.0;
    const double narrower_share = std::min(hole_share, 1.0 - hole_share);
    if (narrower_share > 0) {
        check.narrower_cm = narrower_share * common::kHolePitchCm;
        check.followable_speed_cm_s = *check.narrower_cm * sample_rate;
    }

    const Judge local(gaps);
    for (std::int32_t j = 0; j + 1 < edges; ++j) {
        const auto gap = static_cast<std::size_t>(j);
        const GapKind kind = judgement.kind[gap];
        if (kind == GapKind::Missed)
            add_section(check.missed_hole_sections, section_of_gap(j), sections);
        if (kind == GapKind::Extra)
            add_section(check.extra_edge_sections, section_of_gap(j), sections);
        if (beside_extra[gap] || beside_extra[gap + 1])
            continue;

        // Pulse j + 1 lies in gap j: its light run and the dark run before it.
        const std::int32_t light = light_run(j + 1);
        const std::int32_t dark = light >= 0 ? gaps[gap].readings - light : -1;
        // The spacing here, over this gap and its neighbours.
        const std::optional<double> spacing
            = local.spacing(std::max(0, j - 1), std::min(static_cast<std::int32_t>(gaps.size()), j + 2));
        if (!spacing)
            continue;
        auto fits_the_strip = [&](double share) { return share > 0 && *spacing <= kSingleReadingMargin / share + 1; };
        const bool single_hole = light == 1 && fits_the_strip(hole_share);
        const bool single_bar = dark == 1 && fits_the_strip(1.0 - hole_share);
        const bool close_edges = gaps[gap].readings <= 2 && gaps[gap].pitches >= 1 && fits_the_strip(narrower_share);
        if (single_hole || single_bar || close_edges)
            add_section(check.coarse_period_sections, section_of_gap(j), sections);
    }

    // The fastest section, its missed holes counted, and the period that follows it twice over.
    for (std::int32_t k = 1; k <= sections && k * holes < edges; ++k) {
        std::int32_t pitches = 0;
        for (std::int32_t j = (k - 1) * holes; j < k * holes; ++j)
            pitches += gaps[static_cast<std::size_t>(j)].pitches;
        const double seconds = (falling(k * holes) - falling((k - 1) * holes)) / static_cast<double>(sample_rate);
        if (!(seconds > 0))
            continue;
        const double speed = pitches * common::kHolePitchCm / seconds;
        if (!check.fastest_section_cm_s || speed > *check.fastest_section_cm_s)
            check.fastest_section_cm_s = speed;
    }
    if (check.narrower_cm && check.fastest_section_cm_s && *check.fastest_section_cm_s > 0)
        check.longest_period_ms = *check.narrower_cm / (2 * *check.fastest_section_cm_s) * 1000.0;
    return check;
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
