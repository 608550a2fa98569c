// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The strip check: every edge of a recording held against the known, even spacing of the holes.
// It reads the strip as it really passed the sensor, and names by the sections of the graph what
// the sections cannot show:
//  - readings that bounced at the threshold as an edge passed, which the sections count as edges;
//  - holes that passed the sensor between two readings, where the period is too coarse for the
//    speed measured, and holes or bars seen by a single reading, where it is at its limit;
//  - holes missing from the strip itself (torn, or never punched), where the period follows the
//    cart with a wide margin;
//  - where the cart stopped, turned round or bounced back, which one sensor sees as more holes
//    going forward.
// The sections and the graph stay as they are; the position fit reads the strip from here.

#include "analysis/edge_scan.h"
#include "common/measurement_state.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace analysis {

// A hole of the strip as the check reads the recording. Edges are in readings (sample indices);
// where bounces at a crossing were taken as one edge, the edge lies in the middle of them, on a
// half reading.
struct StripHole {
    double falling = 0;      // where its light ended: the edge the sections count
    double rising = -1;      // where its light began; negative when that is not known to be the hole's
    std::int32_t pitch = 0;  // pitches of the strip from the first hole, holes not seen counted
    std::int32_t pulse = 0;  // the pulse whose falling edge stands for it
    // Holes passed between two readings just before this one: where they did, one more may have
    // passed unseen as well, and the pitch is not sure.
    bool after_unseen = false;
};

struct StripCheck {
    // Section numbers (1..the sections of the graph, ascending, each once) where the check found:
    // holes that passed between two readings: a gap one or two pitches longer than the spacing on
    // both sides, where the holes nearby took so few readings that one can pass unseen;
    std::vector<std::int32_t> missed_hole_sections;
    // edges the sections counted that are none of the strip's: the reading bounced at the
    // threshold as an edge passed, or dropped for a reading or two inside a hole or a bar;
    std::vector<std::int32_t> extra_edge_sections;
    // a hole or a dark bar seen by a single reading, or two falling edges two readings or less
    // apart, where the strip's spacing says that the period is at its limit for this speed;
    std::vector<std::int32_t> coarse_period_sections;
    // a gap one or two pitches longer than the spacing on both sides where the period follows the
    // cart with a wide margin: the strip itself lacks the holes.
    std::vector<std::int32_t> torn_hole_sections;
    // The section where the cart stopped, turned round or bounced back: the speed fell towards
    // zero and rose again, or dropped at once; the first such place only.
    std::optional<std::int32_t> turn_section;

    // The holes of the strip in order, bounces taken out and holes not seen counted in the
    // pitches.
    std::vector<StripHole> holes;
    // Holes 0..holes_before_turn - 1 were passed before the cart stopped or turned: all of them
    // without a turn.
    std::int32_t holes_before_turn = 0;
    // Entry j, one for each pulse of the recording: the pitch of the hole whose falling edge it
    // stands for; -1 for a pulse that is no hole's own (a bounce, or a drop inside a hole or bar).
    std::vector<std::int32_t> edge_pitch;

    double period_ms = 0;  // the recording's sampling period
    // The narrower of hole and bar in cm, estimated from the share of light readings between the
    // first and the last hole; absent with fewer than two holes.
    std::optional<double> narrower_cm;
    // The fastest speed this period follows, in cm/s: narrower_cm per period.
    std::optional<double> followable_speed_cm_s;
    // The fastest speed over as many holes as a section has, before any turn, holes not seen
    // counted, in cm/s; absent without two holes.
    std::optional<double> fastest_section_cm_s;
    // The longest period, in ms, that follows the fastest speed with a margin of two: half the
    // time the narrower of hole and bar takes to pass at that speed.
    std::optional<double> longest_period_ms;

    bool found_something() const
    {
        return !missed_hole_sections.empty() || !extra_edge_sections.empty() || !coarse_period_sections.empty()
            || !torn_hole_sections.empty() || turn_section.has_value();
    }
    // Whether the period is at fault: holes passed unseen, or were seen by a single reading.
    bool period_at_fault() const { return !missed_hole_sections.empty() || !coarse_period_sections.empty(); }
};

// What to do where the period is at fault, from the fastest speed measured: a shorter period that
// follows it twice over; 1 ms where that is the shortest that sees every hole; a slower cart where
// not even 1 ms sees every hole; only a new measurement where the period already follows it.
struct PeriodRemedy {
    enum class Kind { MeasureAgain, ShorterPeriod, OneMillisecond, SlowerCart };
    Kind kind = Kind::MeasureAgain;
    std::int32_t period_ms = 0;  // for ShorterPeriod: the longest whole period that follows twice over
};
PeriodRemedy period_remedy(const StripCheck &check);

// Checks the pulses of a recording taken at `sample_rate` readings per second, whose graph has
// `sections` whole sections of `holes_per_section` holes from the first pulse on (the gap from
// falling edge j to j + 1 lies in section j / holes_per_section + 1). Findings outside sections
// 1..sections are not reported. Nothing is found, and no speed is given, when holes_per_section
// is below 1 or sample_rate is not positive; the holes and edge_pitch are given all the same.
StripCheck check_strip(
    const std::vector<Pulse> &pulses, std::int16_t holes_per_section, std::int32_t sections, float sample_rate);

// What グラフ learns about the strip beyond the sections, kept for the position fit and for the
// texts that report the check.
struct StripAnalysis {
    std::vector<Pulse> pulses;  // every pulse of the recording
    // The board stamped the edges: the pulses are its stamps' (stamped_pulses), in µs, and
    // sample_rate is kStampRate.
    bool stamped = false;
    // Times in µs after reading 0 of stamped edges that the readings deny: flicker at the pin's
    // threshold, named in check.extra_edge_sections.
    std::vector<std::int64_t> unmatched_stamps;
    std::int16_t holes_per_section = 0;
    std::int32_t sections = 0;  // whole sections of the graph (edge_count)
    float sample_rate = 0;      // of the pulses' edges
    StripCheck check;
};

// The time of a hole's falling (or rising) edge in s after the first pulse's falling edge.
double hole_edge_time_s(const StripAnalysis &strip, const StripHole &hole, bool rising);

// The check of the recording in `state` as the section table of its last analysis sees it:
// after analyse_sections, with its holes_per_section and edge_count.
StripAnalysis analyse_strip(const common::MeasurementState &state);

}  // namespace analysis
