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

int SimulatedCart::sensor_reading(double t_s)
{
    std::uniform_int_distribution<int> noise(-kNoiseAmplitude, kNoiseAmplitude);
    const bool light = hole_at(position_cm(t_s));
    bool shown = light;
    if (read_before_ && light != last_light_) {
        // A crossing since the last reading: some bounce for a reading or two afterwards.
        ++crossings_;
        bounces_left_ = 0;
        if (motion_.flicker_share > 0 && unit_hash(crossings_, noise_seed_ + 1) < motion_.flicker_share)
            bounces_left_ = unit_hash(crossings_, noise_seed_ + 2) < 0.5 ? 2 : 4;
    } else if (bounces_left_ > 0) {
        // Back to what it was for one reading, then on again.
        shown = bounces_left_ % 2 == 0 ? !light : light;
        --bounces_left_;
    }
    read_before_ = true;
    last_light_ = light;
    if (shown != light)
        return (shown ? kBounceLightReading : kBounceDarkReading) + noise(noise_);
    const int level = light ? kLightReading : kDarkReading;
    return level + noise(noise_);
}

void SimulatedCart::restart()
{
    noise_.seed(noise_seed_);
    read_before_ = false;
    crossings_ = 0;
    bounces_left_ = 0;
}

}  // namespace converter
