// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/position_fit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace analysis {
namespace {

constexpr std::size_t kMaxParameters = 4;

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

}  // namespace

std::optional<PositionFit> fit_positions(const StripAnalysis &strip, std::int32_t last_boundary)
{
    const std::vector<Pulse> &pulses = strip.pulses;
    const std::vector<std::int32_t> &pitch = strip.check.edge_pitch;
    const std::int32_t holes = strip.holes_per_section;
    const std::int32_t boundaries = std::min(last_boundary, strip.sections);
    if (holes < 1 || boundaries < 1 || !(strip.sample_rate > 0) || pitch.size() != pulses.size())
        return std::nullopt;
    const std::int64_t last_edge = static_cast<std::int64_t>(boundaries) * holes;
    if (last_edge >= static_cast<std::int64_t>(pulses.size()))
        return std::nullopt;

    // Times in s from the first counted edge, positions in cm from it.
    const std::int32_t origin = pulses[0].falling;
    const double rate = strip.sample_rate;
    std::vector<double> times;
    std::vector<double> positions;
    std::vector<bool> rising;
    for (std::int64_t j = 0; j <= last_edge; ++j) {
        const auto edge = static_cast<std::size_t>(j);
        if (pitch[edge] < 0)
            continue;
        const double position = pitch[edge] * common::kHolePitchCm;
        times.push_back((pulses[edge].falling - origin) / rate);
        positions.push_back(position);
        rising.push_back(false);
        // The rising edge belongs to this hole only when the light run before it was not cut in
        // two by an edge counted twice.
        if (j > 0 && pitch[edge - 1] >= 0 && pulses[edge].rising > pulses[edge - 1].falling) {
            times.push_back((pulses[edge].rising - origin) / rate);
            positions.push_back(position);
            rising.push_back(true);
        }
    }
    const auto rows = static_cast<std::int32_t>(times.size());
    const auto rising_rows = static_cast<std::int32_t>(std::count(rising.begin(), rising.end(), true));
    const std::int32_t falling_rows = rows - rising_rows;
    if (falling_rows < 3)
        return std::nullopt;
    const bool with_rising = rising_rows >= 2;

    // Time centred on its mean and scaled by its largest distance from it, so that the columns 1, τ
    // and τ² are far from dependent whatever the units and the span.
    double centre = 0;
    double mean_position = 0;
    std::int32_t used = 0;
    for (std::int32_t i = 0; i < rows; ++i) {
        if (!with_rising && rising[static_cast<std::size_t>(i)])
            continue;
        centre += times[static_cast<std::size_t>(i)];
        mean_position += positions[static_cast<std::size_t>(i)];
        ++used;
    }
    centre /= used;
    mean_position /= used;
    double scale = 0;
    for (std::int32_t i = 0; i < rows; ++i) {
        if (with_rising || !rising[static_cast<std::size_t>(i)])
            scale = std::max(scale, std::fabs(times[static_cast<std::size_t>(i)] - centre));
    }
    if (!(scale > 0))
        return std::nullopt;

    const std::size_t parameters = with_rising ? 4 : 3;
    struct Row {
        double tau;
        bool rising;
        double position;
    };
    std::vector<Row> fitted;
    double total_squares = 0;
    for (std::int32_t i = 0; i < rows; ++i) {
        const auto row = static_cast<std::size_t>(i);
        if (!with_rising && rising[row])
            continue;
        fitted.push_back({(times[row] - centre) / scale, rising[row], positions[row]});
        total_squares += (positions[row] - mean_position) * (positions[row] - mean_position);
    }
    // x = b0 + b1 τ + b2 τ² (+ w for a rising edge), τ = (t - centre) / scale, each row weighted.
    auto solve_weighted = [&](const std::vector<double> &weights) {
        std::vector<std::vector<double>> columns(parameters);
        std::vector<double> y;
        for (std::size_t row = 0; row < fitted.size(); ++row) {
            const double root = std::sqrt(weights[row]);
            const double tau = fitted[row].tau;
            columns[0].push_back(root);
            columns[1].push_back(root * tau);
            columns[2].push_back(root * tau * tau);
            if (with_rising)
                columns[3].push_back(fitted[row].rising ? root : 0.0);
            y.push_back(root * fitted[row].position);
        }
        return solve(std::move(columns), std::move(y));
    };

    // The edges' times are off by up to a period, so an edge passed at speed v is off by up to v
    // periods in position. A first fit gives v at each edge; the second weights each edge by
    // 1 / v², which makes it a fit of the times themselves. Speeds are kept to a tenth of the
    // fastest, so that an edge where the cart nearly stood does not take the whole fit.
    std::vector<double> weights(fitted.size(), 1.0);
    std::optional<Solution> solution = solve_weighted(weights);
    if (!solution)
        return std::nullopt;
    std::vector<double> speeds;
    for (const Row &row : fitted)
        speeds.push_back(std::fabs(solution->coefficients[1] + 2 * solution->coefficients[2] * row.tau) / scale);
    const double fastest = *std::max_element(speeds.begin(), speeds.end());
    if (fastest > 0 && std::isfinite(fastest)) {
        for (std::size_t row = 0; row < fitted.size(); ++row) {
            const double speed = std::max(speeds[row], fastest / 10) / fastest;
            weights[row] = 1 / (speed * speed);
        }
        solution = solve_weighted(weights);
        if (!solution)
            return std::nullopt;
    }

    // At t = 0: dx/dt = (b1 - 2 b2 centre / scale) / scale and d²x/dt² = 2 b2 / scale².
    const auto &b = solution->coefficients;
    const auto &c = solution->unit_covariance;
    const double tau_0 = -centre / scale;
    PositionFit fit;
    fit.initial_velocity = (b[1] + 2 * b[2] * tau_0) / scale;
    fit.acceleration = 2 * b[2] / (scale * scale);
    fit.edges = static_cast<std::int32_t>(fitted.size());
    fit.rising_edges = with_rising ? rising_rows : 0;
    if (with_rising)
        fit.hole_width_cm = b[3];
    double residual_squares = 0;
    for (const Row &row : fitted) {
        const double model = b[0] + b[1] * row.tau + b[2] * row.tau * row.tau + (row.rising ? b[3] : 0.0);
        residual_squares += (row.position - model) * (row.position - model);
    }
    fit.r_squared = total_squares > 0 ? 1.0 - residual_squares / total_squares : 1.0;
    const auto spare = static_cast<std::int32_t>(fitted.size() - parameters);
    if (spare > 0) {
        // The weighted residuals estimate the scatter of a unit weight.
        const double variance = solution->residual_squares / spare;
        // v0 = g·b with g = (0, 1, 2 τ0, 0) / scale.
        const double v0_unit = (c[1][1] + 4 * tau_0 * c[1][2] + 4 * tau_0 * tau_0 * c[2][2]) / (scale * scale);
        fit.initial_velocity_error = std::sqrt(variance * std::max(0.0, v0_unit));
        fit.acceleration_error = 2 / (scale * scale) * std::sqrt(variance * c[2][2]);
    }
    if (!std::isfinite(fit.initial_velocity) || !std::isfinite(fit.acceleration))
        return std::nullopt;
    return fit;
}

}  // namespace analysis
