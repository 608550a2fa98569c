// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The run as a ticker tape: cut into pieces of equal time from its first counted edge, each piece
// as long as the strip moved in its time. Laid side by side on a common base, the pieces are the
// velocity–time graph that a class makes from a ticker-tape timer's tape.
//
// The strip is known only at its holes' edges, each seen up to a period late; the distance at a
// cut comes from a position fit over the holes nearest to it, taken at the cut's time plus half a
// period (where an edge seen at a reading most likely crossed), and never from a straight line
// between two edges.

#include "analysis/fit_statistics.h"
#include "analysis/strip_check.h"
#include "common/measurement_state.h"
#include "common/reading_span.h"
#include "common/time_range.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace analysis {

// The piece times offered, in s; a ticker-tape timer's 5 dots at 50 Hz and 6 at 60 Hz are 0.1 s.
inline constexpr std::array<double, 5> kPieceTimes{0.02, 0.04, 0.05, 0.1, 0.2};
inline constexpr double kDefaultPieceTime = 0.1;
// The holes nearest to a cut that its position fit takes (fewer near the ends of the run).
inline constexpr std::int32_t kHolesAroundCut = 40;

struct TapePiece {
    enum class Kind {
        Whole,    // a piece of the full time
        Shorter,  // the last piece, cut short where the run ends: apart, and out of the line
        Slack,    // after the cart stopped or turned: the tape went slack, no length
    };
    Kind kind = Kind::Whole;
    std::int32_t number = 0;  // 1, 2, ... in order
    double start_s = 0;       // from the first counted edge
    double end_s = 0;
    // How far the strip moved in the piece's time; nothing for slack tape, or where holes passed
    // unseen near a cut, which leaves the strip's pitches there in doubt.
    std::optional<double> length_cm;
    bool estimated = false;      // no hole passed in it: its length comes from the holes around it
    bool across_missed = false;  // holes passed between two readings within it
    bool across_torn = false;    // the strip lacks a hole within it
    bool in_range = true;        // its middle lies in the run's range
    // Where the holes that passed in it lie on it, in cm from its start.
    std::vector<double> holes_cm;

    double middle_s() const { return (start_s + end_s) / 2; }
    // Whether the line through the tops takes it.
    bool on_line() const { return kind == Kind::Whole && in_range && length_cm.has_value(); }
};

// Why a run gives no piece.
enum class TapeRefusal {
    None,
    NoSections,        // no whole section: nothing to cut
    ShorterThanPiece,  // the run is shorter than one piece
};

struct Tape {
    double piece_s = kDefaultPieceTime;
    std::vector<TapePiece> pieces;
    TapeRefusal refusal = TapeRefusal::None;
    double run_s = 0;                    // the run's length from its first counted edge
    std::optional<double> slack_from_s;  // where the cart stopped or turned
    // The line through the tops of the pieces on it: the mean speed of each (its length over the
    // piece time) against its middle, so that the slope is in cm/s² and the intercept in cm/s.
    std::optional<FitStatistics> line;
};

// Cuts the run of `state` (after グラフ's analysis: edge_index and edge_count), whose strip check is
// `strip`, into pieces of `piece_s` seconds (taken positive). Pieces whose middles lie outside
// `range` are off the line. The edges on readings that came late (`late_readings`) are left out.
Tape cut_tape(const common::MeasurementState &state, const StripAnalysis &strip, double piece_s,
    const std::optional<common::TimeRange> &range = std::nullopt,
    const std::vector<common::ReadingSpan> &late_readings = {});

}  // namespace analysis
