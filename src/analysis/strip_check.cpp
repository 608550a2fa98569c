// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/strip_check.h"

#include "analysis/strip_reading.h"
#include "analysis/strip_rules.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace analysis {
namespace {

using namespace strip_rules;

// A single reading inside a hole (or a bar) that is this share of the pitch fits the strip only
// when the pitch took fewer than 2 / share readings; the margin allows for the estimated share.
constexpr double kSingleReadingMargin = 2.5;
// The share of the pitch that is hole is read from this many pitches at least, and a strip's holes
// are at least this share of the pitch and at most one less it (0.6 to 12 mm).
constexpr std::int32_t kFewestSharePitches = 3;
constexpr double kLeastHoleShare = 0.05;
// The fastest speed: a window of holes counts at most this many times the median speed of its
// gaps and of this many on either side.
constexpr double kSpeedJump = 1.1;
constexpr std::int32_t kSpeedWindows = 3;

// Bounces in one section of this many or more leave the period unjudged.
constexpr double kBouncyShare = 4.0;

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

double hole_edge_time_s(const StripAnalysis &strip, const StripHole &hole, bool rising)
{
    return ((rising ? hole.rising : hole.falling) - strip.pulses[0].falling) / strip.sample_rate;
}

namespace {

// A stamped edge that the readings do not show is flicker at the pin's threshold, named in the
// section whose gap between falling edges holds it, as a bounce of the readings is.
void name_flicker(StripAnalysis &strip)
{
    if (strip.unmatched_stamps.empty() || strip.holes_per_section < 1)
        return;
    std::vector<double> falls_us;
    for (const Pulse &pulse : strip.pulses)
        falls_us.push_back(pulse.falling);
    std::vector<std::int32_t> &extra = strip.check.extra_edge_sections;
    for (const std::int64_t time_us : strip.unmatched_stamps) {
        const auto after = std::upper_bound(falls_us.begin(), falls_us.end(), static_cast<double>(time_us));
        if (after == falls_us.begin())
            continue;
        const auto gap = static_cast<std::int32_t>(after - falls_us.begin() - 1);
        const std::int32_t section = gap / strip.holes_per_section + 1;
        if (section <= strip.sections)
            extra.push_back(section);
    }
    std::sort(extra.begin(), extra.end());
    extra.erase(std::unique(extra.begin(), extra.end()), extra.end());
}

}  // namespace

StripAnalysis analyse_strip(const common::MeasurementState &state)
{
    StripAnalysis strip;
    if (std::optional<StampedPulses> stamped = stamped_pulses(state)) {
        strip.stamped = true;
        strip.pulses = std::move(stamped->pulses);
        strip.unmatched_stamps = std::move(stamped->flicker_us);
        strip.sample_rate = kStampRate;
    } else {
        strip.pulses = scan_pulses(state.samples, state.last_sample);
        strip.sample_rate = state.sample_rate;
    }
    strip.holes_per_section = state.holes_per_section;
    strip.sections = state.edge_count;
    strip.check = check_strip(strip.pulses, strip.holes_per_section, strip.sections, strip.sample_rate);
    name_flicker(strip);
    return strip;
}

}  // namespace analysis
