// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "converter/simulated_cart.h"

#include "common/measurement_state.h"

#include <algorithm>
#include <cmath>

namespace converter {

SimulatedCart::SimulatedCart(CartMotion motion, std::uint32_t noise_seed)
    : motion_(motion), noise_seed_(noise_seed), noise_(noise_seed)
{ }

namespace {

// A number in [0, 1) fixed by the two values given: the same strip and the same run read alike.
double unit_hash(std::uint64_t a, std::uint64_t b)
{
    std::uint64_t x = a * 0x9E3779B97F4A7C15ull + b + 0x632BE59BD9B4E019ull;
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 31;
    return static_cast<double>(x >> 11) / 9007199254740992.0;
}

// Readings that bounce at a crossing lie just on the other side of the threshold.
constexpr int kBounceLightReading = 133;
constexpr int kBounceDarkReading = 117;
// A crossing bounces once or twice.
constexpr int kMostBounces = 2;

}  // namespace

double SimulatedCart::accel() const
{
    return motion_.turn_after_s ? -std::fabs(motion_.accel_cm_s2) : motion_.accel_cm_s2;
}

double SimulatedCart::v0() const
{
    return motion_.turn_after_s ? std::fabs(motion_.accel_cm_s2) * *motion_.turn_after_s : motion_.v0_cm_s;
}

double SimulatedCart::position_cm(double t_s) const
{
    double tau = t_s - motion_.release_delay_s;
    if (tau <= 0)
        return 0.0;
    const double v0 = this->v0();
    const double a = accel();
    if (motion_.turn_after_s) {
        // Out, and back down to the start of the strip, where it stays.
        const double free_cm = std::max(0.0, v0 * tau + 0.5 * a * tau * tau);
        return motion_.end_stop_cm ? std::min(free_cm, *motion_.end_stop_cm) : free_cm;
    }
    // A cart that brakes to a standstill stays where it stopped.
    if (a < 0 && v0 > 0 && tau > -v0 / a)
        tau = -v0 / a;
    if (a < 0 && v0 <= 0)
        return 0.0;
    const double free_cm = v0 * tau + 0.5 * a * tau * tau;
    return motion_.end_stop_cm ? std::min(free_cm, *motion_.end_stop_cm) : free_cm;
}

double SimulatedCart::velocity_cm_s(double t_s) const
{
    const double tau = t_s - motion_.release_delay_s;
    if (tau <= 0)
        return 0.0;
    if (motion_.end_stop_cm && position_cm(t_s) >= *motion_.end_stop_cm)
        return 0.0;
    const double v = v0() + accel() * tau;
    if (motion_.turn_after_s)
        return position_cm(t_s) > 0 ? v : 0.0;
    return v > 0 ? v : 0.0;
}

double SimulatedCart::time_at_position(double distance_cm) const
{
    const double v0 = this->v0();
    const double a = accel();
    if (distance_cm <= 0)
        return motion_.release_delay_s;
    if (motion_.end_stop_cm && distance_cm > *motion_.end_stop_cm)
        return -1.0;
    double tau;
    if (a == 0) {
        if (v0 <= 0)
            return -1.0;
        tau = distance_cm / v0;
    } else {
        const double discriminant = v0 * v0 + 2 * a * distance_cm;
        if (discriminant < 0)
            return -1.0;
        // The smaller positive root, in the form that stays accurate when a is small.
        tau = 2 * distance_cm / (v0 + std::sqrt(discriminant));
        if (!(tau > 0))
            return -1.0;
    }
    return motion_.release_delay_s + tau;
}

double SimulatedCart::jitter_cm(int k) const
{
    if (!(motion_.hole_jitter_cm > 0))
        return 0.0;
    return (2 * unit_hash(static_cast<std::uint64_t>(k), noise_seed_) - 1) * motion_.hole_jitter_cm;
}

bool SimulatedCart::has_hole(int k) const
{
    return k >= 0 && k < hole_count() && !(motion_.torn_hole && *motion_.torn_hole == k);
}

bool SimulatedCart::hole_at(double distance_cm) const
{
    if (distance_cm >= kStripLengthCm)
        return false;
    // A hole stands within its jitter of its place: it is one of three.
    const int k = static_cast<int>(std::floor((distance_cm - kFirstHoleCm) / common::kHolePitchCm));
    for (int hole = k - 1; hole <= k + 1; ++hole)
        if (has_hole(hole) && distance_cm >= hole_leading_edge_cm(hole) && distance_cm < hole_trailing_edge_cm(hole))
            return true;
    return false;
}

double SimulatedCart::hole_leading_edge_cm(int k) const
{
    return kFirstHoleCm + k * common::kHolePitchCm + jitter_cm(k);
}

double SimulatedCart::hole_trailing_edge_cm(int k) const { return hole_leading_edge_cm(k) + motion_.hole_width_cm; }

int SimulatedCart::hole_count() const
{
    return static_cast<int>(std::floor((kStripLengthCm - kFirstHoleCm - motion_.hole_width_cm) / common::kHolePitchCm))
        + 1;
}

bool SimulatedCart::bounces(double t_s, double step_s) const
{
    if (!(motion_.flicker_share > 0) || !(step_s > 0))
        return false;
    // The strip as the readings at t + m steps see it, m = -kMostBounces..kMostBounces.
    bool light[2 * kMostBounces + 1];
    for (int m = -kMostBounces; m <= kMostBounces; ++m)
        light[m + kMostBounces] = hole_at(position_cm(t_s + m * step_s));
    for (int m = -kMostBounces + 1; m <= kMostBounces; ++m) {
        if (light[m + kMostBounces] == light[m - 1 + kMostBounces])
            continue;
        // A crossing just before the reading at t + m steps; which edge it is, and which way the
        // strip went, decide whether it bounces and how often.
        const double crossed_at = position_cm(t_s + (m - 0.5) * step_s);
        const int hole = static_cast<int>(std::floor((crossed_at - kFirstHoleCm) / common::kHolePitchCm + 0.5));
        const bool forward = position_cm(t_s + m * step_s) >= position_cm(t_s + (m - 1) * step_s);
        const auto edge
            = static_cast<std::uint64_t>(4 * (hole + 1) + (light[m + kMostBounces] ? 0 : 2) + (forward ? 0 : 1));
        if (unit_hash(edge, noise_seed_ + 1) >= motion_.flicker_share)
            return false;
        const int times = unit_hash(edge, noise_seed_ + 2) < 0.5 ? 1 : 2;
        // Readings j = -times..times - 1 about the first one after the crossing (j = 0) alternate,
        // the new side first: the crossing lies in the middle of them.
        const int j = -m;
        if (j < -times || j >= times)
            return false;
        const bool shows_new = (j + times) % 2 == 0;
        const bool is_new = j >= 0;
        return shows_new != is_new;
    }
    return false;
}

double SimulatedCart::light_level(double distance_cm) const
{
    // The sensor sees the strip through an aperture this wide: the light is the share of it that
    // lies over a hole.
    constexpr double kApertureCm = 0.05;
    const auto open_cm = [](double from_cm, double to_cm) { return std::max(0.0, to_cm - from_cm); };
    const double from_cm = distance_cm - kApertureCm / 2;
    const double to_cm = std::min(distance_cm + kApertureCm / 2, kStripLengthCm);
    const int k = static_cast<int>(std::floor((distance_cm - kFirstHoleCm) / common::kHolePitchCm));
    double lit_cm = 0;
    for (int hole = k - 1; hole <= k + 1; ++hole)
        if (has_hole(hole))
            lit_cm
                += open_cm(std::max(from_cm, hole_leading_edge_cm(hole)), std::min(to_cm, hole_trailing_edge_cm(hole)));
    return kDarkReading + (kLightReading - kDarkReading) * std::min(1.0, lit_cm / kApertureCm);
}

int SimulatedCart::sensor_reading(double t_s)
{
    std::uniform_int_distribution<int> noise(-kNoiseAmplitude, kNoiseAmplitude);
    const bool light = hole_at(position_cm(t_s));
    const double step_s = last_reading_s_ >= 0 ? t_s - last_reading_s_ : 0;
    last_reading_s_ = t_s;
    if (bounces(t_s, step_s))
        return (light ? kBounceDarkReading : kBounceLightReading) + noise(noise_);
    const int level = light ? kLightReading : kDarkReading;
    return level + noise(noise_);
}

void SimulatedCart::restart()
{
    noise_.seed(noise_seed_);
    last_reading_s_ = -1;
}

}  // namespace converter
