// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A cart pulling the hole strip past the light sensor, for running the program without the
// hardware. The strip is 60 cm long with a hole every 1.268 cm (0.5 cm wide unless set otherwise);
// from its release the cart moves s(t) = v0 t + a t^2 / 2 (a braking cart stops and stays, and a
// cart that reaches the end stop stops dead there). The sensor reads about 230 while a hole is in
// front of it and about 20 otherwise, with a little noise, and stays dark once the strip has
// passed.

#include <cstdint>
#include <optional>
#include <random>

namespace converter {

// The cart's motion and its strip.
struct CartMotion {
    double v0_cm_s = 20.0;          // velocity at the release
    double accel_cm_s2 = 60.0;      // constant acceleration
    double release_delay_s = 0.05;  // from the start (the port being opened) to the release
    double hole_width_cm = 0.5;     // width of each hole of the strip, less than the pitch
    // Strip position at which the cart hits a stopper and stands still from then on; none: no stop.
    std::optional<double> end_stop_cm = std::nullopt;
};

class SimulatedCart {
public:
    static constexpr double kStripLengthCm = 60.0;
    static constexpr double kFirstHoleCm = 1.0;  // leading edge of the first hole
    static constexpr int kLightReading = 230;
    static constexpr int kDarkReading = 20;
    static constexpr int kNoiseAmplitude = 4;  // readings vary by up to this much either way

    explicit SimulatedCart(CartMotion motion = {}, std::uint32_t noise_seed = 1);

    const CartMotion &motion() const { return motion_; }

    // Distance the strip has moved past the sensor, in cm, t seconds after the start.
    double position_cm(double t_s) const;
    // Velocity of the cart, in cm/s, t seconds after the start.
    double velocity_cm_s(double t_s) const;
    // Time after the start at which the strip has moved `distance_cm`; negative when it never does.
    double time_at_position(double distance_cm) const;
    // True when a hole of the strip is in front of the sensor with the strip moved `distance_cm`.
    bool hole_at(double distance_cm) const;
    // Strip position of the trailing edge of hole k (the falling edge the analysis counts).
    double hole_trailing_edge_cm(int k) const;
    // The holes that fit whole on the strip.
    int hole_count() const;

    // The sensor's value t seconds after the start, noise included (each call draws new noise).
    int sensor_reading(double t_s);
    // Starts the noise sequence afresh (the cart itself has no other state).
    void restart();

private:
    CartMotion motion_;
    std::uint32_t noise_seed_;
    std::minstd_rand noise_;
};

}  // namespace converter
