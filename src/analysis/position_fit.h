// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The position fit: x = x0 + v0 t + a t² / 2 by least squares through the times of the hole
// edges themselves, each edge used once, where the line of the graph goes through the sections'
// velocities, which share their edges.

#include "analysis/strip_check.h"
#include "common/reading_span.h"
#include "common/time_range.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace analysis {

// A value worked out from a fit, with its standard error when the fit gives one.
struct Estimate {
    double value = 0;
    std::optional<double> error;
};

// The fitted curve x = b0 + b1 τ + b2 τ² in τ = (t - centre) / scale, with the covariance of b0,
// b1 and b2 (widened as the errors are) when the fit has edges to spare.
struct PositionCurve {
    double centre = 0;  // s
    double scale = 1;   // s
    std::array<double, 3> coefficients{};
    std::optional<std::array<std::array<double, 3>, 3>> covariance;
};

struct PositionFit {
    double initial_velocity = 0;  // cm/s, v0: the velocity at the first counted edge (t = 0)
    double acceleration = 0;      // cm/s², a
    // Standard errors from the scatter of the edges about the fitted curve, which holds two
    // parts: the timing of each edge by whole readings (an edge passed at speed v is off by up to
    // v per period) and the holes' own spacing errors, which both edges of a hole share. Both are
    // estimated from the scatter itself. With few edges to spare they are widened by Student's t,
    // so that two of them hold the truth 19 times in 20. Absent when the fit has no edge to spare
    // for estimating them.
    std::optional<double> initial_velocity_error;
    std::optional<double> acceleration_error;
    double r_squared = 0;           // 1 - (residual sum of squares) / (sum of squares of x about its mean)
    std::int32_t edges = 0;         // edges used, falling and rising
    std::int32_t rising_edges = 0;  // of which rising
    // Width of the light run of a hole in cm: how far the rising edge lies before the falling one;
    // absent when no rising edge was used.
    std::optional<double> hole_width_cm;
    // The spread of the holes' positions about an even strip that the scatter shows, in cm.
    double hole_spread_cm = 0;
    // The fit ended at the edges before the section where the cart stopped, turned or bounced.
    bool before_turn = false;
    PositionCurve curve;
};

// Where the fitted curve stands at time t (s), in cm from the first hole.
Estimate position_at(const PositionFit &fit, double t);
// The slope of the fitted curve at time t (s): the velocity then, in cm/s.
Estimate velocity_at(const PositionFit &fit, double t);
// How far the fitted curve rises from time t1 to time t2 (s), in cm.
Estimate rise_between(const PositionFit &fit, double t1, double t2);

// Why there is no position fit.
enum class PositionFitRefusal {
    None,
    NoSections,        // no holes per section, no sample rate, or no whole section in the span
    TooFewEdges,       // too few holes in the span to fit and to tell how far to trust it
    TooFewBeforeTurn,  // the same before the cart stopped or turned
    HolesNotSeen,      // holes passed between two readings in the span: the pitches are not sure
    Undetermined,      // the edges do not determine a curve (all at one time, say)
};

// Fits the holes of the strip check from boundary 0 to boundary `last_boundary` of the graph (the
// points the line uses end with section plotted_sections; it is taken as at most the sections of
// the analysis) and before any turn, t counted from the first counted edge in s and x in cm:
//  - the falling edge of each hole at its pitch (a gap of holes not seen counts as the pitches it
//    spans; bounces at a crossing are one edge, and an edge that is no hole's is left out);
//  - the rising edge of each hole after the first inside that span, a hole width before its
//    falling edge, the width a fourth parameter of the fit, when at least two such edges are there.
// Returns nothing with fewer than three holes or two edges more than the parameters, without a
// positive sample rate, where holes passed
// between two readings in the span (where some did, others may have passed unseen as well, and
// every later pitch is in doubt), or when the fit is not determined; `refusal`, when given, says
// why.
//
// With a `window`, only the holes whose falling edges lie within its times are fitted (a hole's
// rising edge with it when that lies within too). An edge on a reading of `unsure_readings` (as
// analysis::unsure_readings gives them) is left out; its hole keeps its pitch.
std::optional<PositionFit> fit_positions(const StripAnalysis &strip, std::int32_t last_boundary,
    PositionFitRefusal *refusal = nullptr, const std::optional<common::TimeRange> &window = std::nullopt,
    const std::vector<common::ReadingSpan> &unsure_readings = {});

}  // namespace analysis
