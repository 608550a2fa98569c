// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "acquisition/edge_stamps.h"

#include "converter/board_protocol.h"

#include <algorithm>
#include <cmath>

namespace acquisition {

StampCollector::StampCollector(common::EdgeStamps &stamps, double correction_ppm)
    : stamps_(stamps), count_us_(converter::kEdgeCountUs / (1 + correction_ppm * 1e-6))
{
    stamps_.edges.clear();
    stamps_.refused = 0;
    stamps_.lost = false;
}

void StampCollector::take(bool rising, std::uint16_t tick, std::uint8_t count)
{
    // The tick nearest the last one with these low 16 bits: a stamp up to 32 s earlier reads as
    // out of order rather than 33 s later.
    const auto step = static_cast<std::int16_t>(static_cast<std::uint16_t>(tick - static_cast<std::uint16_t>(tick_)));
    const std::int64_t full = stamps_.edges.empty() ? std::int64_t(tick) : tick_ + step;
    const std::int64_t time_us = (full - 1) * 1000 + std::llround(count * count_us_);
    if (time_us < 0)
        return;
    if (!stamps_.edges.empty()) {
        const common::EdgeStamp &last = stamps_.edges.back();
        if (time_us < last.time_us || rising == last.rising) {
            ++stamps_.refused;
            return;
        }
    }
    tick_ = full;
    stamps_.edges.push_back({time_us, rising});
}

void StampCollector::end(std::int64_t last_us)
{
    std::vector<common::EdgeStamp> &edges = stamps_.edges;
    edges.erase(std::find_if(edges.begin(), edges.end(),
                    [last_us](const common::EdgeStamp &edge) { return edge.time_us > last_us; }),
        edges.end());
}

}  // namespace acquisition
