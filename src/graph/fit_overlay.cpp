// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "graph/fit_overlay.h"

#include "common/number_format.h"
#include "common/numeric.h"
#include "common/palette.h"
#include "graph/graph_layout.h"

#include <QString>

#include <cmath>
#include <limits>
#include <optional>

namespace graph {
namespace {

// origin + direction x Int(offset) as a 32-bit pixel coordinate, when both Int(offset) and the
// result fit one.
std::optional<std::int32_t> pixel_from(std::int32_t origin, std::int32_t direction, double offset)
{
    const std::optional<std::int32_t> whole = common::checked_integer<std::int32_t>(common::int_floor(offset));
    if (!whole)
        return std::nullopt;
    return common::checked_integer<std::int32_t>(origin + static_cast<double>(direction) * *whole);
}

}  // namespace

std::vector<OverlayDot> fit_overlay_dots(float initial_velocity, float acceleration, float x_zoom, float y_zoom)
{
    using common::to_single;
    std::vector<OverlayDot> dots;
    if (!(x_zoom > 0) || !std::isfinite(x_zoom))
        return dots;
    // An end beyond the range of a float, or a step that underflows to 0, would never end the loop.
    const double end_s = 0.7 / x_zoom;
    if (!(end_s <= std::numeric_limits<float>::max()))
        return dots;
    const float end = to_single(end_s);
    const float step = to_single(0.001 / x_zoom);
    if (!(step > 0))
        return dots;

    const double a = acceleration;
    const double v0 = initial_velocity;
    dots.reserve(1402);
    for (float t = 0; t <= end; t = to_single(t + static_cast<double>(step))) {
        const double time = t;
        const float velocity = to_single(time * a + v0);
        const float distance = to_single(a * 0.5 * time * time + time * v0);
        const std::optional<std::int32_t> x
            = pixel_from(kBoxLeft, 1, time * kPixelsPerTimeTick / kSecondsPerTimeTick * x_zoom);
        if (!x)
            continue;
        const std::optional<std::int32_t> y_velocity = pixel_from(
            kBoxBottom, -1, static_cast<double>(velocity) * kPixelsPerValueTick / kVelocityPerTick * y_zoom);
        const std::optional<std::int32_t> y_distance = pixel_from(
            kBoxBottom, -1, static_cast<double>(distance) * kPixelsPerValueTick / kDistancePerTick * y_zoom);
        if (y_velocity && *y_velocity > kBoxTop)
            dots.push_back({*x, *y_velocity, common::kBrightBlue});
        if (y_distance && *y_distance > kBoxTop)
            dots.push_back({*x, *y_distance, common::kBrightRed});
    }
    return dots;
}

void draw_fit(Surface &surface, float initial_velocity, float acceleration, float x_zoom, float y_zoom)
{
    surface.set_text_colour(common::kBlack);
    surface.move_to(8, 435);
    surface.print(QStringLiteral("初速度"));
    surface.move_to(50, 435);
    surface.print(QString::fromStdString(common::initial_velocity_text(initial_velocity)));
    surface.set_text_colour(common::kBlack);
    surface.move_to(8, 450);
    surface.print(QStringLiteral("加速度"));
    surface.move_to(50, 450);
    surface.print(QString::fromStdString(common::acceleration_text(acceleration)));

    for (const OverlayDot &dot : fit_overlay_dots(initial_velocity, acceleration, x_zoom, y_zoom))
        surface.set_pixel(dot.x, dot.y, dot.colour);
}

}  // namespace graph
