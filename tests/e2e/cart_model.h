// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Where a cart of known motion should put the discs of the motion graph, worked out here from the
// motion itself: the strip, the timing of the readings and the scales of the graph, independently
// of the program's own code.

#include <QRectF>

#include <vector>

namespace e2e {

struct CartMotion {
    double v0_cm_s = 20;            // velocity at the release
    double accel_cm_s2 = 60;        // constant acceleration
    double release_delay_s = 0.05;  // from the start of the measurement to the release
};

// The strip: 60 cm long, a hole every 1.268 cm, the first one's leading edge 1.0 cm from the start,
// each 0.5 cm wide.
constexpr double kStripLengthCm = 60;
constexpr double kHolePitchCm = 1.268;
constexpr double kFirstHoleCm = 1.0;
constexpr double kHoleWidthCm = 0.5;

// Seconds from the start of the measurement until the strip has moved `distance_cm`.
double time_at_distance(const CartMotion &motion, double distance_cm);
// The cart's velocity in cm/s `seconds` after the start of the measurement.
double velocity_at_time(const CartMotion &motion, double seconds);
// Seconds until the trailing edge of hole k (k = 0 for the first hole) passes the sensor: the
// falling edge that the analysis counts.
double trailing_edge_time(const CartMotion &motion, int hole);
// How many holes have begun to pass the sensor within the first `seconds`.
int holes_begun_by(const CartMotion &motion, double seconds);

// A disc the graph should show: the picture coordinates its centre may take, and whether every
// possible timing of the readings draws it (otherwise it may or may not be there).
struct ExpectedDisc {
    int index = 0;  // section k for a velocity disc, boundary k for a distance disc
    QRectF centre;
    bool certain = true;
};

struct ExpectedGraph {
    std::vector<ExpectedDisc> velocity;
    std::vector<ExpectedDisc> distance;
};

// The discs of the first graph (scale 1) for a measurement of `readings` readings one `period_s`
// apart with one hole per section. Reading i is taken i periods after the start, less an unknown
// part of one period (the tick counter's phase at the start), so each edge lands on one of two
// readings; the expected places cover every phase.
ExpectedGraph expected_graph(const CartMotion &motion, double period_s, int readings);

}  // namespace e2e
