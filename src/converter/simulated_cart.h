// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A cart pulling the hole strip past the light sensor, for running the program without the
// hardware. The strip is 60 cm long with a hole every 1.268 cm (0.5 cm wide unless set otherwise);
// from its release the cart moves s(t) = v0 t + a t^2 / 2 (a braking cart stops and stays, and a
// cart that reaches the end stop stops dead there). The sensor reads about 230 while a hole is in
// front of it and about 20 otherwise, with a little noise, and stays dark once the strip has
// passed.
//
// It can also play what a real lab meets: a sensor near its threshold that bounces as an edge
// passes, a strip with a hole torn out or holes punched unevenly, and a cart pushed up a slope
// that stops and rolls back.

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
    // The share of crossings of an edge at which the reading bounces once or twice, half of them
    // once and half twice: the readings around the crossing alternate, one reading each, as
    // noise about the threshold makes them, the crossing in the middle of them.
    double flicker_share = 0;
    // A hole missing from the strip, counted from 0; none: every hole is there.
    std::optional<int> torn_hole = std::nullopt;
    // Each hole stands off its place by up to this much either way, both its edges alike.
    double hole_jitter_cm = 0;
    // The cart turns round this long after its release: it leaves at |accel_cm_s2| times this,
    // slows at |accel_cm_s2| to a stop and rolls back, down to the start of the strip; v0_cm_s and
    // the sign of accel_cm_s2 are then not used.
    std::optional<double> turn_after_s = std::nullopt;
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
    // Velocity of the cart, in cm/s, t seconds after the start: negative while it rolls back.
    double velocity_cm_s(double t_s) const;
    // Time after the start at which the strip has moved `distance_cm`; negative when it never does.
    double time_at_position(double distance_cm) const;
    // True when a hole of the strip is in front of the sensor with the strip moved `distance_cm`.
    bool hole_at(double distance_cm) const;
    // Strip position of the leading and the trailing edge of hole k (the falling edge the analysis
    // counts on the way out).
    double hole_leading_edge_cm(int k) const;
    double hole_trailing_edge_cm(int k) const;
    // Whether hole k is on the strip (not torn out).
    bool has_hole(int k) const;
    // The holes that fit whole on the strip.
    int hole_count() const;

    // The light on the sensor with the strip moved `distance_cm`, without noise, in readings as a
    // real number: kLightReading in a hole, kDarkReading behind the strip and past its end, and a
    // straight ramp between them across each edge as the sensor's aperture (0.05 cm) uncovers the
    // hole, centred on the edge, where it passes kLightReading and kDarkReading's mean, 125.
    double light_level(double distance_cm) const;
    // The sensor's value t seconds after the start, noise included (each call draws new noise),
    // read once a conversion: a bounce at a crossing lasts one reading, the readings taken as far
    // apart as the last two were.
    int sensor_reading(double t_s);
    // Starts the noise sequence and the bounces afresh (the cart itself has no other state).
    void restart();

private:
    // The acceleration and the velocity at the release the motion has.
    double accel() const;
    double v0() const;
    double jitter_cm(int k) const;

    CartMotion motion_;
    std::uint32_t noise_seed_;
    std::minstd_rand noise_;
    // Whether a reading at t shows the other side of the threshold from the strip, at a crossing
    // that bounces, the readings `step_s` apart.
    bool bounces(double t_s, double step_s) const;

    // When the last reading was taken; negative before the first.
    double last_reading_s_ = -1;
};

}  // namespace converter
