// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/span_fits.h"

#include "analysis/late_readings.h"

#include <algorithm>
#include <cmath>

namespace analysis {

namespace {

constexpr double kExactAgreementCm = 1e-3;

struct PointFits {
    std::optional<LineFit> line;
    std::optional<FitStatistics> statistics;
};

std::optional<FitStatistics> line_statistics(
    const std::vector<float> &times, const std::vector<float> &values, std::int32_t n)
{
    return fit_statistics(times, values, n);
}

// The line through the velocity points first..last of the section tables, but those `left_out`.
PointFits fit_points(const common::MeasurementState &state, std::int32_t first, std::int32_t last,
    const std::vector<std::int32_t> &left_out = {})
{
    const std::vector<float> *times = &state.sect_time;
    const std::vector<float> *velocities = &state.sect_velocity;
    std::int32_t n = last;
    // Points after the first, or with some left out, as a table of their own, entry 0 unused;
    // counts out of the tables are left to the fits to refuse.
    std::vector<float> own_times(1, 0.0f);
    std::vector<float> own_velocities(1, 0.0f);
    if ((first > 1 || !left_out.empty()) && last >= first && static_cast<std::size_t>(last) < times->size()
        && static_cast<std::size_t>(last) < velocities->size()) {
        for (std::int32_t k = std::max(first, 1); k <= last; ++k) {
            if (std::find(left_out.begin(), left_out.end(), k) != left_out.end())
                continue;
            own_times.push_back((*times)[static_cast<std::size_t>(k)]);
            own_velocities.push_back((*velocities)[static_cast<std::size_t>(k)]);
        }
        times = &own_times;
        velocities = &own_velocities;
        n = static_cast<std::int32_t>(own_times.size()) - 1;
    }
    PointFits fits;
    fits.line = fit_velocity_line(*times, *velocities, n);
    if (fits.line)
        fits.statistics = line_statistics(*times, *velocities, n);
    return fits;
}

std::optional<PositionFit> fit_edges(const StripAnalysis &strip, std::int32_t last_boundary,
    PositionFitRefusal *refusal, const std::optional<common::TimeRange> &window,
    const std::vector<common::ReadingSpan> &unsure = {})
{
    return fit_positions(strip, last_boundary, refusal, window, unsure);
}

// The area under v = intercept + slope t from t1 to t2, with its error from the line's: the
// covariance of intercept and slope is -(mean time) x var(slope).
Estimate area_under(const FitStatistics &line, double mean_time, double t1, double t2)
{
    const double width = t2 - t1;
    const double half_squares = (t2 * t2 - t1 * t1) / 2;
    Estimate area{line.intercept * width + line.slope * half_squares, std::nullopt};
    if (line.intercept_error && line.slope_error) {
        const double slope_variance = *line.slope_error * *line.slope_error;
        const double variance = width * width * *line.intercept_error * *line.intercept_error
            + half_squares * half_squares * slope_variance - 2 * width * half_squares * mean_time * slope_variance;
        area.error = std::sqrt(std::max(0.0, variance));
    }
    return area;
}

}  // namespace

SpanFits fit_span(const common::MeasurementState &state, const StripAnalysis *strip, std::int32_t line_points,
    std::int32_t position_boundaries)
{
    SpanFits fits;
    fits.line_points = std::max(0, line_points);
    const PointFits points = fit_points(state, 1, line_points);
    fits.line = points.line;
    fits.statistics = points.statistics;
    if (!strip)
        return fits;
    fits.position_boundaries = position_boundaries;
    fits.position_fit = fit_edges(*strip, position_boundaries, &fits.position_refusal, std::nullopt);
    return fits;
}

std::int32_t sections_before_turn(const StripAnalysis &strip)
{
    std::int32_t sections = std::max(0, strip.sections);
    // The section of the turn is the cart's doing, not its motion's: it ends the span.
    if (strip.check.turn_section)
        sections = std::min(sections, *strip.check.turn_section - 1);
    return std::max(0, sections);
}

double boundary_time(const common::MeasurementState &state, std::int32_t j)
{
    const auto entry = static_cast<std::size_t>(std::max(0, j));
    if (entry < state.edge_time_s.size())
        return state.edge_time_s[entry];
    if (entry >= state.edge_index.size() || !(state.sample_rate > 0))
        return 0;
    return (state.edge_index[entry] - state.edge_index[0]) / static_cast<double>(state.sample_rate);
}

std::optional<common::TimeRange> data_span(const common::MeasurementState &state)
{
    if (state.edge_count < 1)
        return std::nullopt;
    return common::TimeRange{0.0, boundary_time(state, state.edge_count)};
}

std::optional<common::TimeRange> whole_run_range(const common::MeasurementState &state, const StripAnalysis &strip)
{
    const std::int32_t sections = sections_before_turn(strip);
    if (sections < 1)
        return std::nullopt;
    return common::TimeRange{0.0, boundary_time(state, sections)};
}

RangeFits fit_range(const common::MeasurementState &state, const StripAnalysis &strip, common::TimeRange range,
    const std::vector<common::ReadingSpan> &late_readings)
{
    RangeFits fits;
    fits.range = range;
    const std::int32_t sections = std::max(0, std::min(state.edge_count, strip.sections));
    const std::int32_t before_turn = sections_before_turn(strip);
    for (std::int32_t k = 1; k <= sections && static_cast<std::size_t>(k) < state.sect_time.size(); ++k) {
        const double mid = state.sect_time[static_cast<std::size_t>(k)];
        if (mid < range.start_s || mid > range.end_s)
            continue;
        if (k > before_turn) {
            fits.cut_at_turn = true;
            break;
        }
        if (fits.first_section == 0)
            fits.first_section = k;
        fits.last_section = k;
    }
    // A range across a turn ends where the sections before it end.
    if (fits.cut_at_turn)
        fits.range.end_s = std::max(fits.range.start_s, std::min(range.end_s, boundary_time(state, before_turn)));

    // Sections whose times the computer's pauses spoiled are none of the cart's: the line goes
    // without them, the position fit without the edges on unsure readings.
    for (const std::int32_t k : spoiled_sections(state, late_readings)) {
        if (k >= fits.first_section && k <= fits.last_section)
            fits.spoiled_sections.push_back(k);
    }

    double mean_time = 0;
    if (fits.fitted_sections() >= kFewestRangeSections) {
        fits.line = fit_points(state, fits.first_section, fits.last_section, fits.spoiled_sections).statistics;
        for (std::int32_t k = fits.first_section; k <= fits.last_section; ++k) {
            if (std::find(fits.spoiled_sections.begin(), fits.spoiled_sections.end(), k) == fits.spoiled_sections.end())
                mean_time += state.sect_time[static_cast<std::size_t>(k)];
        }
        mean_time /= fits.fitted_sections();
    }
    fits.position_fit = fit_edges(strip, sections, &fits.position_refusal, fits.range, unsure_readings(late_readings));
    if (fits.line)
        fits.area = area_under(*fits.line, mean_time, fits.range.start_s, fits.range.end_s);
    if (fits.position_fit)
        fits.rise = rise_between(*fits.position_fit, fits.range.start_s, fits.range.end_s);
    return fits;
}

std::optional<PositionFit> fit_window(const StripAnalysis &strip, const common::TimeRange &window,
    const std::vector<common::ReadingSpan> &unsure, PositionFitRefusal *refusal)
{
    return fit_edges(strip, strip.sections, refusal, window, unsure);
}

std::optional<FitStatistics> fit_points_line(const std::vector<float> &times, const std::vector<float> &values)
{
    if (times.size() != values.size() || times.size() < 2)
        return std::nullopt;
    return line_statistics(times, values, static_cast<std::int32_t>(times.size()) - 1);
}

bool area_agrees_with_rise(const Estimate &area, const Estimate &rise)
{
    const double difference = std::fabs(area.value - rise.value);
    if (!area.error || !rise.error)
        return difference <= kExactAgreementCm;
    return difference <= std::max(2 * std::hypot(*area.error, *rise.error), kExactAgreementCm);
}

}  // namespace analysis
