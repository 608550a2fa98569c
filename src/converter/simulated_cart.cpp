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

double SimulatedCart::position_cm(double t_s) const
{
    double tau = t_s - motion_.release_delay_s;
    if (tau <= 0)
        return 0.0;
    const double v0 = motion_.v0_cm_s;
    const double a = motion_.accel_cm_s2;
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
    const double v = motion_.v0_cm_s + motion_.accel_cm_s2 * tau;
    return v > 0 ? v : 0.0;
}

double SimulatedCart::time_at_position(double distance_cm) const
{
    const double v0 = motion_.v0_cm_s;
    const double a = motion_.accel_cm_s2;
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

bool SimulatedCart::hole_at(double distance_cm) const
{
    if (distance_cm < kFirstHoleCm || distance_cm >= kStripLengthCm)
        return false;
    const double offset = std::fmod(distance_cm - kFirstHoleCm, common::kHolePitchCm);
    const int k = static_cast<int>(std::floor((distance_cm - kFirstHoleCm) / common::kHolePitchCm));
    return offset < motion_.hole_width_cm && k < hole_count();
}

double SimulatedCart::hole_trailing_edge_cm(int k) const
{
    return kFirstHoleCm + k * common::kHolePitchCm + motion_.hole_width_cm;
}

int SimulatedCart::hole_count() const
{
    return static_cast<int>(std::floor((kStripLengthCm - kFirstHoleCm - motion_.hole_width_cm) / common::kHolePitchCm))
        + 1;
}

int SimulatedCart::sensor_reading(double t_s)
{
    std::uniform_int_distribution<int> noise(-kNoiseAmplitude, kNoiseAmplitude);
    const int level = hole_at(position_cm(t_s)) ? kLightReading : kDarkReading;
    return level + noise(noise_);
}

void SimulatedCart::restart() { noise_.seed(noise_seed_); }

}  // namespace converter
