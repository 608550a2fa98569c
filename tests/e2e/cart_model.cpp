// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cart_model.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace e2e {
namespace {

// The graph at scale 1: 800 pixels per second from x = 50, 33 pixels per 20 cm/s and per 3 cm up
// from y = 390; a plot ends at its first point right of x = 610 or above y = 60.
constexpr double kOriginX = 50;
constexpr double kOriginY = 390;
constexpr double kPixelsPerSecond = 800;
constexpr double kPixelsPerCmPerS = 33.0 / 20.0;
constexpr double kPixelsPerCm = 33.0 / 3.0;
constexpr double kRightEdge = 610;
constexpr double kTopEdge = 60;
// The section length as the program holds it: 1.268 rounded to single precision.
constexpr double kSectionLengthCm = static_cast<double>(static_cast<float>(kHolePitchCm));
// Phases tried between 0 and 1 period.
constexpr int kPhaseSteps = 50;

bool inside(double x, double y) { return x <= kRightEdge && y >= kTopEdge; }

struct Place {
    double x;
    double y;
};

// One possible graph: the discs for one phase of the readings, by index.
struct Drawing {
    std::map<int, Place> velocity;
    std::map<int, Place> distance;
};

Drawing drawing_for_phase(const CartMotion &motion, double period_s, int readings, double phase)
{
    // Reading i is taken at (i - phase) periods; the edge lands on the first reading after it.
    const int last_reading = readings - 1;
    std::vector<long> edges;
    for (int hole = 0; kFirstHoleCm + hole * kHolePitchCm + kHoleWidthCm < kStripLengthCm; ++hole) {
        const double t = trailing_edge_time(motion, hole);
        if (t < 0)
            break;
        const long edge = static_cast<long>(std::floor(t / period_s + phase)) + 1;
        // An edge found at the last reading or later is not counted.
        if (edge >= last_reading)
            break;
        edges.push_back(edge);
    }

    Drawing drawing;
    if (edges.empty())
        return drawing;
    for (std::size_t k = 1; k < edges.size(); ++k) {
        const double dt = (edges[k] - edges[k - 1]) * period_s;
        const double middle = ((edges[k - 1] + edges[k]) / 2.0 - edges[0]) * period_s;
        const double velocity = kSectionLengthCm / dt;
        const Place place{middle * kPixelsPerSecond + kOriginX, kOriginY - velocity * kPixelsPerCmPerS};
        if (!inside(place.x, place.y))
            break;
        drawing.velocity[static_cast<int>(k)] = place;
    }
    for (std::size_t k = 0; k < edges.size(); ++k) {
        const Place place{(edges[k] - edges[0]) * period_s * kPixelsPerSecond + kOriginX,
            kOriginY - static_cast<double>(k) * kSectionLengthCm * kPixelsPerCm};
        if (!inside(place.x, place.y))
            break;
        drawing.distance[static_cast<int>(k)] = place;
    }
    return drawing;
}

std::vector<ExpectedDisc> merge(const std::vector<std::map<int, Place>> &per_phase)
{
    std::map<int, ExpectedDisc> merged;
    std::map<int, int> drawn_in;
    for (const std::map<int, Place> &discs : per_phase) {
        for (const auto &[index, place] : discs) {
            // The program draws a disc at its centre rounded to the nearest pixel.
            const QRectF spot(place.x - 0.5, place.y - 0.5, 1.0, 1.0);
            auto found = merged.find(index);
            if (found == merged.end())
                merged[index] = ExpectedDisc{index, spot, true};
            else
                found->second.centre = found->second.centre.united(spot);
            ++drawn_in[index];
        }
    }
    std::vector<ExpectedDisc> discs;
    for (auto &[index, disc] : merged) {
        disc.certain = drawn_in[index] == static_cast<int>(per_phase.size());
        discs.push_back(disc);
    }
    return discs;
}

}  // namespace

double time_at_distance(const CartMotion &motion, double distance_cm)
{
    const double v0 = motion.v0_cm_s;
    const double a = motion.accel_cm_s2;
    if (distance_cm <= 0)
        return motion.release_delay_s;
    // s = v0 tau + a tau^2 / 2, solved for the first tau > 0 in a form that stays exact for small a.
    const double discriminant = v0 * v0 + 2 * a * distance_cm;
    if (discriminant < 0)
        return -1;
    const double denominator = v0 + std::sqrt(discriminant);
    if (!(denominator > 0))
        return -1;
    return motion.release_delay_s + 2 * distance_cm / denominator;
}

double velocity_at_time(const CartMotion &motion, double seconds)
{
    const double tau = seconds - motion.release_delay_s;
    if (tau <= 0)
        return 0;
    return std::max(0.0, motion.v0_cm_s + motion.accel_cm_s2 * tau);
}

double trailing_edge_time(const CartMotion &motion, int hole)
{
    return time_at_distance(motion, kFirstHoleCm + hole * kHolePitchCm + kHoleWidthCm);
}

int holes_begun_by(const CartMotion &motion, double seconds)
{
    int holes = 0;
    while (kFirstHoleCm + holes * kHolePitchCm < kStripLengthCm) {
        const double t = time_at_distance(motion, kFirstHoleCm + holes * kHolePitchCm);
        if (t < 0 || t >= seconds)
            return holes;
        ++holes;
    }
    return holes;
}

ExpectedGraph expected_graph(const CartMotion &motion, double period_s, int readings)
{
    std::vector<std::map<int, Place>> velocity;
    std::vector<std::map<int, Place>> distance;
    for (int step = 0; step < kPhaseSteps; ++step) {
        const Drawing drawing = drawing_for_phase(motion, period_s, readings, static_cast<double>(step) / kPhaseSteps);
        velocity.push_back(drawing.velocity);
        distance.push_back(drawing.distance);
    }
    return ExpectedGraph{merge(velocity), merge(distance)};
}

}  // namespace e2e
