// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "graph/graph_layout.h"

#include "common/number_format.h"
#include "common/numeric.h"
#include "common/palette.h"

namespace graph {
namespace {

constexpr int kTimeTicks = 8;    // 0 to 0.7 s at scale 1, under every second vertical grid line
constexpr int kValueTicks = 11;  // 0 to 200 cm/s and 0 to 30 cm at scale 1, on every grid line

}  // namespace

std::vector<TickLabel> tick_labels(LabelStyle style, float x_scale, float y_scale)
{
    const bool zoomed = style == LabelStyle::Zoomed;
    std::vector<TickLabel> labels;
    labels.reserve(kTimeTicks + 2 * kValueTicks);
    for (int i = 0; i < kTimeTicks; ++i) {
        const double seconds = 0.1 * i;
        labels.push_back({44.0 + 80 * i, 400.0,
            zoomed ? common::format_number(seconds / x_scale, "0.000") : common::format_number(seconds, "0.0"),
            common::kBlack});
    }
    const double velocity_x = zoomed ? 15.0 : 26.0;
    for (int j = 0; j < kValueTicks; ++j) {
        const double cm_per_s = 20.0 * j;
        labels.push_back({velocity_x, 385.0 - 33 * j,
            zoomed ? common::format_number(cm_per_s / y_scale, "##0.00") : common::format_number(cm_per_s, "###"),
            common::kBrightBlue});
    }
    for (int j = 0; j < kValueTicks; ++j) {
        const double cm = 3.0 * j;
        labels.push_back({615.0, 385.0 - 33 * j,
            zoomed ? common::format_number(cm / y_scale, "##0.00") : common::format_number(cm, "###"),
            common::kBrightRed});
    }
    return labels;
}

float velocity_disc_x(float sect_time, float x_scale)
{
    return common::to_single(
        (static_cast<double>(sect_time) * kPixelsPerTimeTick / kSecondsPerTimeTick) * x_scale + kBoxLeft);
}

float velocity_disc_y(float velocity, float y_scale)
{
    return common::to_single(
        kBoxBottom - (static_cast<double>(velocity) * kPixelsPerValueTick / kVelocityPerTick) * y_scale);
}

float distance_disc_x(std::int32_t index_difference, float sample_rate, float x_scale)
{
    return distance_disc_x(static_cast<double>(index_difference) / sample_rate, x_scale);
}

float distance_disc_x(double time_s, float x_scale)
{
    return common::to_single((time_s * kPixelsPerTimeTick / kSecondsPerTimeTick) * x_scale + kBoxLeft);
}

float distance_disc_y(std::int32_t k, float section_length, float y_scale)
{
    return common::to_single(
        kBoxBottom - (kPixelsPerValueTick * (static_cast<double>(k) * section_length) / kDistancePerTick) * y_scale);
}

bool inside_plot(float x, float y) { return x <= kBoxRight && y >= kBoxTop; }

}  // namespace graph
