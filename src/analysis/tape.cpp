// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/tape.h"

#include "analysis/late_readings.h"
#include "analysis/position_fit.h"
#include "analysis/span_fits.h"

#include <algorithm>
#include <cmath>

namespace analysis {

namespace {

// A piece time that divides the run leaves no shorter piece, whatever the rounding of the times.
constexpr double kTimeSlack = 1e-9;

struct TapeHole {
    double time_s;  // its falling edge, from the first counted edge
    std::int32_t pitch;
    bool after_unseen;
};

// The holes a cut's fit may take: up to the run's last boundary and before any turn.
std::vector<TapeHole> holes_of_run(const StripAnalysis &strip)
{
    std::vector<TapeHole> holes;
    if (strip.pulses.empty() || !(strip.sample_rate > 0) || strip.holes_per_section < 1)
        return holes;
    const std::int64_t last_edge = static_cast<std::int64_t>(std::max(0, strip.sections)) * strip.holes_per_section;
    const auto before_turn = static_cast<std::size_t>(std::max(0, strip.check.holes_before_turn));
    for (std::size_t h = 0; h < strip.check.holes.size() && h < before_turn; ++h) {
        const StripHole &hole = strip.check.holes[h];
        if (hole.pulse > last_edge)
            break;
        holes.push_back({hole_edge_time_s(strip, hole, false), hole.pitch, hole.after_unseen});
    }
    return holes;
}

class Cutter {
public:
    Cutter(const StripAnalysis &strip, std::vector<TapeHole> holes, std::vector<common::ReadingSpan> unsure)
        : strip_(strip),
          holes_(std::move(holes)),
          unsure_(std::move(unsure)),
          half_period_s_(strip.sample_rate > 0 ? 0.5 / strip.sample_rate : 0)
    { }

    // Where the strip stood at time t, in cm from its first hole: the fit over the holes nearest
    // to t, at t plus half a period, since an edge seen at a reading crossed at some moment of
    // the period before it (half a µs where the board stamped the edges).
    std::optional<double> place_at(double t) const
    {
        const auto count = static_cast<std::int32_t>(holes_.size());
        if (count == 0)
            return std::nullopt;
        const auto next = static_cast<std::int32_t>(
            std::lower_bound(holes_.begin(), holes_.end(), t, [](const TapeHole &h, double v) { return h.time_s < v; })
            - holes_.begin());
        const std::int32_t first = std::clamp(next - kHolesAroundCut / 2, 0, std::max(0, count - kHolesAroundCut));
        const std::int32_t last = std::min(count, first + kHolesAroundCut) - 1;
        const common::TimeRange window{
            holes_[static_cast<std::size_t>(first)].time_s, holes_[static_cast<std::size_t>(last)].time_s};
        const std::optional<PositionFit> fit = fit_window(strip_, window, unsure_);
        if (!fit)
            return std::nullopt;
        return position_at(*fit, t + half_period_s_).value;
    }

    const std::vector<TapeHole> &holes() const { return holes_; }

private:
    const StripAnalysis &strip_;
    std::vector<TapeHole> holes_;
    std::vector<common::ReadingSpan> unsure_;
    double half_period_s_;
};

// What the strip shows within a measured piece: its holes, and gaps where holes were missed or
// the strip lacks them.
void look_at_strip(TapePiece &piece, const std::vector<TapeHole> &holes, const std::optional<double> &start_cm)
{
    bool any_hole = false;
    for (std::size_t h = 0; h < holes.size(); ++h) {
        const TapeHole &hole = holes[h];
        if (h > 0 && hole.pitch - holes[h - 1].pitch > 1 && holes[h - 1].time_s < piece.end_s
            && hole.time_s > piece.start_s) {
            (hole.after_unseen ? piece.across_missed : piece.across_torn) = true;
        }
        if (hole.time_s < piece.start_s || hole.time_s >= piece.end_s)
            continue;
        any_hole = true;
        if (start_cm && piece.length_cm) {
            const double place = hole.pitch * common::kHolePitchCm - *start_cm;
            piece.holes_cm.push_back(std::clamp(place, 0.0, std::max(0.0, *piece.length_cm)));
        }
    }
    piece.estimated = !any_hole;
}

}  // namespace

Tape cut_tape(const common::MeasurementState &state, const StripAnalysis &strip, double piece_s,
    const std::optional<common::TimeRange> &range, const std::vector<common::ReadingSpan> &late_readings)
{
    Tape tape;
    tape.piece_s = piece_s > 0 ? piece_s : kDefaultPieceTime;
    const std::optional<common::TimeRange> whole = data_span(state);
    const std::optional<common::TimeRange> measured = whole_run_range(state, strip);
    if (!whole || !(state.sample_rate > 0)) {
        tape.refusal = TapeRefusal::NoSections;
        return tape;
    }
    tape.run_s = whole->end_s;
    // Up to a turn the strip moved on; after it, the tape the cart pulled back went slack.
    const double moved_s = measured ? measured->end_s : 0.0;
    if (measured && strip.check.turn_section)
        tape.slack_from_s = moved_s;
    if (tape.run_s + kTimeSlack < tape.piece_s) {
        tape.refusal = TapeRefusal::ShorterThanPiece;
        return tape;
    }

    const Cutter cutter(strip, holes_of_run(strip), unsure_readings(late_readings));
    auto piece_at = [&](double start, double end, TapePiece::Kind kind) {
        TapePiece piece;
        piece.kind = kind;
        piece.number = static_cast<std::int32_t>(tape.pieces.size()) + 1;
        piece.start_s = start;
        piece.end_s = end;
        piece.in_range = !range || (piece.middle_s() >= range->start_s && piece.middle_s() <= range->end_s);
        return piece;
    };
    // A measured piece from the last cut to `end`, which becomes the next cut.
    std::optional<double> start_cm = cutter.place_at(0);
    double start = 0;
    auto measure_to = [&](double end, TapePiece::Kind kind) {
        TapePiece piece = piece_at(start, end, kind);
        const std::optional<double> end_cm = cutter.place_at(end);
        if (start_cm && end_cm)
            piece.length_cm = *end_cm - *start_cm;
        look_at_strip(piece, cutter.holes(), start_cm);
        tape.pieces.push_back(std::move(piece));
        start_cm = end_cm;
        start = end;
    };
    // Each cut at a whole number of pieces, so that no rounding gathers along a long run.
    std::int32_t cuts = 0;
    while ((cuts + 1) * tape.piece_s <= moved_s + kTimeSlack)
        measure_to(++cuts * tape.piece_s, TapePiece::Kind::Whole);
    if (!tape.slack_from_s && moved_s - start > kTimeSlack && !tape.pieces.empty())
        measure_to(moved_s, TapePiece::Kind::Shorter);
    if (tape.slack_from_s) {
        for (; cuts * tape.piece_s < tape.run_s - kTimeSlack; ++cuts)
            tape.pieces.push_back(piece_at(cuts * tape.piece_s, (cuts + 1) * tape.piece_s, TapePiece::Kind::Slack));
    }

    std::vector<float> middles(1, 0.0f);
    std::vector<float> speeds(1, 0.0f);
    for (const TapePiece &piece : tape.pieces) {
        if (!piece.on_line())
            continue;
        middles.push_back(static_cast<float>(piece.middle_s()));
        speeds.push_back(static_cast<float>(*piece.length_cm / tape.piece_s));
    }
    tape.line = fit_points_line(middles, speeds);
    return tape;
}

}  // namespace analysis
