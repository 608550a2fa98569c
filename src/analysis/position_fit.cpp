// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/position_fit.h"

#include "analysis/late_readings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <vector>

namespace analysis {
namespace {

constexpr std::size_t kMaxParameters = 4;
// Edges of one kind alone tell the timing part of the scatter from the spacing part when their
// timing units are this far from all alike (their variance over their mean square), as where the
// speeds differ by a factor of two or more; with both edges of this many holes their differences
// tell it.
constexpr double kPartsApart = 0.1;
constexpr std::int32_t kFewestPairs = 3;
constexpr int kVarianceRounds = 2;
constexpr std::size_t kLeastSpareEdges = 2;

struct Solution {
    std::array<double, kMaxParameters> coefficients{};
    // (RᵀR)⁻¹: the covariance of the coefficients per unit variance of the residuals.
    std::array<std::array<double, kMaxParameters>, kMaxParameters> unit_covariance{};
    double residual_squares = 0;
};

// Least squares of `y` on the columns by Householder reflections, which never forms the normal
// equations and so keeps the accuracy of the columns themselves. Absent when the columns are
// (nearly) dependent.
std::optional<Solution> solve(std::vector<std::vector<double>> columns, std::vector<double> y)
{
    const std::size_t parameters = columns.size();
    const std::size_t rows = y.size();
    if (parameters == 0 || parameters > kMaxParameters || rows < parameters)
        return std::nullopt;
    double largest_diagonal = 0;
    for (std::size_t k = 0; k < parameters; ++k) {
        std::vector<double> &column = columns[k];
        double norm = 0;
        for (std::size_t i = k; i < rows; ++i)
            norm = std::hypot(norm, column[i]);
        if (!(norm > 0) || !std::isfinite(norm))
            return std::nullopt;
        const double alpha = column[k] > 0 ? -norm : norm;
        std::vector<double> v(column.begin() + static_cast<std::ptrdiff_t>(k), column.end());
        v[0] -= alpha;
        double v_squares = 0;
        for (double element : v)
            v_squares += element * element;
        auto reflect = [&](std::vector<double> &target) {
            double dot = 0;
            for (std::size_t i = k; i < rows; ++i)
                dot += v[i - k] * target[i];
            const double factor = 2 * dot / v_squares;
            for (std::size_t i = k; i < rows; ++i)
                target[i] -= factor * v[i - k];
        };
        for (std::size_t j = k; j < parameters; ++j)
            reflect(columns[j]);
        reflect(y);
        largest_diagonal = std::max(largest_diagonal, std::fabs(columns[k][k]));
    }
    for (std::size_t k = 0; k < parameters; ++k) {
        if (std::fabs(columns[k][k]) <= 1e-12 * largest_diagonal)
            return std::nullopt;
    }

    Solution solution;
    for (std::size_t k = parameters; k-- > 0;) {
        double sum = y[k];
        for (std::size_t j = k + 1; j < parameters; ++j)
            sum -= columns[j][k] * solution.coefficients[j];
        solution.coefficients[k] = sum / columns[k][k];
    }
    for (std::size_t i = parameters; i < rows; ++i)
        solution.residual_squares += y[i] * y[i];
    // R⁻¹, upper triangular, column by column; then R⁻¹ R⁻ᵀ.
    std::array<std::array<double, kMaxParameters>, kMaxParameters> inverse{};
    for (std::size_t j = 0; j < parameters; ++j) {
        inverse[j][j] = 1 / columns[j][j];
        for (std::size_t k = j; k-- > 0;) {
            double sum = 0;
            for (std::size_t m = k + 1; m <= j; ++m)
                sum += columns[m][k] * inverse[m][j];
            inverse[k][j] = -sum / columns[k][k];
        }
    }
    for (std::size_t a = 0; a < parameters; ++a) {
        for (std::size_t b = 0; b < parameters; ++b) {
            double sum = 0;
            for (std::size_t m = std::max(a, b); m < parameters; ++m)
                sum += inverse[a][m] * inverse[b][m];
            solution.unit_covariance[a][b] = sum;
        }
    }
    return solution;
}

struct Row {
    double tau;       // time, centred and scaled
    bool rising;      // the rising edge of its hole
    double position;  // cm
    std::int32_t hole;
};

// Least squares of the rows with the covariance of their errors, up to a common factor: `timing`
// (one entry a row) for the timing of each edge, independent, and `shared` for the spacing error
// of a hole, which its two edges share. Each hole's rows are whitened by the Cholesky factor of
// their block of the covariance.
std::optional<Solution> solve_correlated(
    const std::vector<Row> &rows, std::size_t parameters, const std::vector<double> &timing, double shared)
{
    std::vector<std::vector<double>> columns(parameters);
    std::vector<double> y;
    auto add = [&](const std::array<double, kMaxParameters> &x, double value) {
        for (std::size_t k = 0; k < parameters; ++k)
            columns[k].push_back(x[k]);
        y.push_back(value);
    };
    auto design = [&](const Row &row) {
        return std::array<double, kMaxParameters>{1.0, row.tau, row.tau * row.tau, row.rising ? 1.0 : 0.0};
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const bool pair = i + 1 < rows.size() && rows[i + 1].hole == rows[i].hole;
        std::array<double, kMaxParameters> x = design(rows[i]);
        const double l11 = std::sqrt(timing[i] + shared);
        if (!(l11 > 0))
            return std::nullopt;
        std::array<double, kMaxParameters> z{};
        for (std::size_t k = 0; k < parameters; ++k)
            z[k] = x[k] / l11;
        const double first = rows[i].position / l11;
        add(z, first);
        if (!pair)
            continue;
        // [[t1 + s, s], [s, t2 + s]] = L Lᵀ with L = [[l11, 0], [l21, l22]].
        const double l21 = shared / l11;
        const double l22 = std::sqrt(std::max(timing[i + 1] + shared - l21 * l21, 0.0));
        if (!(l22 > 0))
            return std::nullopt;
        const std::array<double, kMaxParameters> x2 = design(rows[i + 1]);
        std::array<double, kMaxParameters> z2{};
        for (std::size_t k = 0; k < parameters; ++k)
            z2[k] = (x2[k] - l21 * z[k]) / l22;
        add(z2, (rows[i + 1].position - l21 * first) / l22);
        ++i;
    }
    return solve(std::move(columns), std::move(y));
}

// Student's t at 97.5 % over the normal's 1.96, for `spare` degrees of freedom.
double t_over_normal(std::int32_t spare)
{
    static constexpr double kT[]
        = {12.706, 4.303, 3.182, 2.776, 2.571, 2.447, 2.365, 2.306, 2.262, 2.228, 2.201, 2.179, 2.160, 2.145, 2.131,
            2.120, 2.110, 2.101, 2.093, 2.086, 2.080, 2.074, 2.069, 2.064, 2.060, 2.056, 2.052, 2.048, 2.045, 2.042};
    constexpr auto kTabled = static_cast<std::int32_t>(std::size(kT));
    const double t = spare <= kTabled ? kT[spare - 1] : 1.96 + 2.4 / spare;
    return t / 1.96;
}

double model_at(const std::array<double, kMaxParameters> &b, const Row &row)
{
    return b[0] + b[1] * row.tau + b[2] * row.tau * row.tau + (row.rising ? b[3] : 0.0);
}

// The spacing part of the scatter per unit of its timing part (the timing part of row i being
// timing[i] units), from the residuals of `solution`; nothing where they do not tell the two apart.
// Where holes have both edges, the difference of a hole's two residuals holds the timing part
// alone, since the hole's own error cancels in it; the spacing part is what the squares hold
// beyond. Without such pairs the two differ only in how they go with the speed: the squares
// against the timing units, by least squares, where the speeds differ enough to tell.
std::optional<double> spacing_per_timing(
    const std::vector<Row> &rows, const Solution &solution, const std::vector<double> &timing)
{
    std::vector<double> residual;
    for (const Row &row : rows)
        residual.push_back(row.position - model_at(solution.coefficients, row));
    double difference_squares = 0, pair_units = 0, squares = 0, units = 0, unit_squares = 0, unit_residuals = 0;
    std::int32_t pairs = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        squares += residual[i] * residual[i];
        units += timing[i];
        unit_squares += timing[i] * timing[i];
        unit_residuals += timing[i] * residual[i] * residual[i];
        if (i + 1 < rows.size() && rows[i + 1].hole == rows[i].hole) {
            const double difference = residual[i + 1] - residual[i];
            difference_squares += difference * difference;
            pair_units += timing[i] + timing[i + 1];
            ++pairs;
        }
    }
    const auto n = static_cast<double>(rows.size());
    double timing_part = 0;
    double spacing_part = 0;
    if (pairs >= kFewestPairs) {
        timing_part = difference_squares / pair_units;
        spacing_part = (squares - timing_part * units) / n;
    } else {
        const double determinant = unit_squares * n - units * units;
        if (!(determinant > kPartsApart * unit_squares * n))
            return std::nullopt;
        timing_part = (unit_residuals * n - units * squares) / determinant;
        spacing_part = (unit_squares * squares - units * unit_residuals) / determinant;
    }
    if (!(spacing_part > 0))
        return 0.0;
    // Where the timing part comes out as nothing, a thousandth keeps the covariance invertible.
    return spacing_part / std::max(timing_part, 1e-3 * spacing_part);
}

}  // namespace

std::optional<PositionFit> fit_positions(const StripAnalysis &strip, std::int32_t last_boundary,
    PositionFitRefusal *refusal, const std::optional<common::TimeRange> &window,
    const std::vector<common::ReadingSpan> &late_readings)
{
    // Readings held up leave their edges unsure; the board's stamps are its timer's, never late.
    const std::vector<common::ReadingSpan> none;
    const std::vector<common::ReadingSpan> &unsure_readings = strip.stamped ? none : late_readings;
    auto refuse = [refusal](PositionFitRefusal why) -> std::optional<PositionFit> {
        if (refusal)
            *refusal = why;
        return std::nullopt;
    };
    if (refusal)
        *refusal = PositionFitRefusal::None;
    const std::vector<StripHole> &holes = strip.check.holes;
    const std::int32_t holes_per_section = strip.holes_per_section;
    const std::int32_t boundaries = std::min(last_boundary, strip.sections);
    if (holes_per_section < 1 || boundaries < 1 || !(strip.sample_rate > 0) || strip.pulses.empty())
        return refuse(PositionFitRefusal::NoSections);
    const std::int64_t last_edge = static_cast<std::int64_t>(boundaries) * holes_per_section;
    if (last_edge >= static_cast<std::int64_t>(strip.pulses.size()))
        return refuse(PositionFitRefusal::NoSections);

    // Times in s from the first counted edge, positions in cm from it; holes up to the last
    // boundary, and before the cart stopped or turned.
    struct Edge {
        double time;
        bool rising;
        double position;
        std::int32_t hole;
    };
    std::vector<Edge> edges;
    std::int32_t falling_edges = 0;
    bool cut_at_turn = false;
    auto within = [&window](double time) { return !window || (time >= window->start_s && time <= window->end_s); };
    for (std::size_t h = 0; h < holes.size() && holes[h].pulse <= last_edge; ++h) {
        const StripHole &hole = holes[h];
        const double falling = hole_edge_time_s(strip, hole, false);
        if (!within(falling)) {
            if (falling > window->end_s)
                break;
            continue;
        }
        if (static_cast<std::int32_t>(h) >= strip.check.holes_before_turn) {
            cut_at_turn = true;
            break;
        }
        // A gap of holes not seen before the first hole fitted leaves every pitch of the fit sure.
        if (hole.after_unseen && falling_edges > 0)
            return refuse(PositionFitRefusal::HolesNotSeen);
        // A hole whose falling edge came late is left out, its rising edge with it.
        if (on_unsure_reading(unsure_readings, hole.falling))
            continue;
        const double position = hole.pitch * common::kHolePitchCm;
        const auto index = static_cast<std::int32_t>(h);
        edges.push_back({falling, false, position, index});
        ++falling_edges;
        const double rising = hole_edge_time_s(strip, hole, true);
        if (h > 0 && hole.rising >= 0 && within(rising) && !on_unsure_reading(unsure_readings, hole.rising))
            edges.push_back({rising, true, position, index});
    }
    if (falling_edges < 3)
        return refuse(cut_at_turn ? PositionFitRefusal::TooFewBeforeTurn : PositionFitRefusal::TooFewEdges);
    const auto rising_rows
        = static_cast<std::int32_t>(std::count_if(edges.begin(), edges.end(), [](const Edge &e) { return e.rising; }));
    const bool with_rising = rising_rows >= 2;
    if (!with_rising)
        edges.erase(std::remove_if(edges.begin(), edges.end(), [](const Edge &e) { return e.rising; }), edges.end());
    // Edges beyond the parameters tell how far to trust them; with fewer, no error can be given.
    if (edges.size() < (with_rising ? 4u : 3u) + kLeastSpareEdges)
        return refuse(cut_at_turn ? PositionFitRefusal::TooFewBeforeTurn : PositionFitRefusal::TooFewEdges);

    // Time centred on its mean and scaled by its largest distance from it, so that the columns 1, τ
    // and τ² are far from dependent whatever the units and the span.
    double centre = 0;
    double mean_position = 0;
    for (const Edge &edge : edges) {
        centre += edge.time;
        mean_position += edge.position;
    }
    centre /= static_cast<double>(edges.size());
    mean_position /= static_cast<double>(edges.size());
    double scale = 0;
    for (const Edge &edge : edges)
        scale = std::max(scale, std::fabs(edge.time - centre));
    if (!(scale > 0))
        return refuse(PositionFitRefusal::Undetermined);

    const std::size_t parameters = with_rising ? 4 : 3;
    std::vector<Row> rows;
    double total_squares = 0;
    for (const Edge &edge : edges) {
        rows.push_back({(edge.time - centre) / scale, edge.rising, edge.position, edge.hole});
        total_squares += (edge.position - mean_position) * (edge.position - mean_position);
    }

    // The edges' times are off by up to a period, so an edge passed at speed v is off by up to v
    // periods in position: a first fit gives v at each edge, and the timing part of each edge's
    // error goes with v². Speeds are kept to a tenth of the fastest, so that an edge where the
    // cart nearly stood does not take the whole fit.
    std::vector<double> timing(rows.size(), 1.0);
    std::optional<Solution> solution = solve_correlated(rows, parameters, timing, 0);
    if (!solution)
        return refuse(PositionFitRefusal::Undetermined);
    std::vector<double> speeds;
    for (const Row &row : rows)
        speeds.push_back(std::fabs(solution->coefficients[1] + 2 * solution->coefficients[2] * row.tau) / scale);
    const double fastest = *std::max_element(speeds.begin(), speeds.end());
    double shared = 0;
    if (fastest > 0 && std::isfinite(fastest)) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const double speed = std::max(speeds[i], fastest / 10) / fastest;
            timing[i] = speed * speed;
        }
        solution = solve_correlated(rows, parameters, timing, 0);
        if (!solution)
            return refuse(PositionFitRefusal::Undetermined);
        // The two parts of the scatter, from the residuals, twice over with the fit they give.
        for (int round = 0; round < kVarianceRounds; ++round) {
            const std::optional<double> parts = spacing_per_timing(rows, *solution, timing);
            if (!parts)
                break;
            shared = *parts;
            solution = solve_correlated(rows, parameters, timing, shared);
            if (!solution)
                return refuse(PositionFitRefusal::Undetermined);
        }
    }

    // At t = 0: dx/dt = (b1 - 2 b2 centre / scale) / scale and d²x/dt² = 2 b2 / scale².
    const auto &b = solution->coefficients;
    const auto &c = solution->unit_covariance;
    const double tau_0 = -centre / scale;
    PositionFit fit;
    fit.initial_velocity = (b[1] + 2 * b[2] * tau_0) / scale;
    fit.acceleration = 2 * b[2] / (scale * scale);
    fit.edges = static_cast<std::int32_t>(rows.size());
    fit.rising_edges = with_rising ? rising_rows : 0;
    fit.before_turn = cut_at_turn;
    if (with_rising)
        fit.hole_width_cm = b[3];
    fit.curve.centre = centre;
    fit.curve.scale = scale;
    fit.curve.coefficients = {b[0], b[1], b[2]};
    double residual_squares = 0;
    for (const Row &row : rows)
        residual_squares += (row.position - model_at(b, row)) * (row.position - model_at(b, row));
    fit.r_squared = total_squares > 0 ? 1.0 - residual_squares / total_squares : 1.0;
    const auto spare = static_cast<std::int32_t>(rows.size() - parameters);
    if (spare > 0) {
        // The whitened residuals estimate the common factor of the covariance.
        const double variance = solution->residual_squares / spare;
        // The spacing part in cm: `shared` is it per unit timing part at the fastest speed.
        fit.hole_spread_cm = std::sqrt(variance * shared);
        // v0 = g·b with g = (0, 1, 2 τ0, 0) / scale.
        const double v0_unit = (c[1][1] + 4 * tau_0 * c[1][2] + 4 * tau_0 * tau_0 * c[2][2]) / (scale * scale);
        // With few edges to spare the scatter itself is known roughly: the errors are widened by
        // Student's t over the normal, so that two of them hold the truth 19 times in 20 however
        // many edges there are.
        const double widen = t_over_normal(spare);
        fit.initial_velocity_error = widen * std::sqrt(variance * std::max(0.0, v0_unit));
        fit.acceleration_error = widen * 2 / (scale * scale) * std::sqrt(variance * c[2][2]);
        std::array<std::array<double, 3>, 3> covariance{};
        for (std::size_t i = 0; i < 3; ++i)
            for (std::size_t j = 0; j < 3; ++j)
                covariance[i][j] = widen * widen * variance * c[i][j];
        fit.curve.covariance = covariance;
    }
    if (!std::isfinite(fit.initial_velocity) || !std::isfinite(fit.acceleration))
        return refuse(PositionFitRefusal::Undetermined);
    return fit;
}

namespace {

// g·b and its standard error, for a linear function g of the curve's coefficients.
Estimate linear_estimate(const PositionCurve &curve, const std::array<double, 3> &g)
{
    Estimate estimate;
    for (std::size_t i = 0; i < 3; ++i)
        estimate.value += g[i] * curve.coefficients[i];
    if (curve.covariance) {
        double variance = 0;
        for (std::size_t i = 0; i < 3; ++i)
            for (std::size_t j = 0; j < 3; ++j)
                variance += g[i] * (*curve.covariance)[i][j] * g[j];
        estimate.error = std::sqrt(std::max(0.0, variance));
    }
    return estimate;
}

}  // namespace

Estimate position_at(const PositionFit &fit, double t)
{
    const double tau = (t - fit.curve.centre) / fit.curve.scale;
    return linear_estimate(fit.curve, {1.0, tau, tau * tau});
}

Estimate velocity_at(const PositionFit &fit, double t)
{
    // dx/dt = (b1 + 2 b2 τ) / scale.
    const PositionCurve &curve = fit.curve;
    const double tau = (t - curve.centre) / curve.scale;
    return linear_estimate(curve, {0.0, 1 / curve.scale, 2 * tau / curve.scale});
}

Estimate rise_between(const PositionFit &fit, double t1, double t2)
{
    const PositionCurve &curve = fit.curve;
    const double tau1 = (t1 - curve.centre) / curve.scale;
    const double tau2 = (t2 - curve.centre) / curve.scale;
    return linear_estimate(curve, {0.0, tau2 - tau1, tau2 * tau2 - tau1 * tau1});
}

}  // namespace analysis
