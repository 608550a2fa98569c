// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A board's edge frames as stamps of the recording: each frame's tick (modulo 65536) and count of
// 4 µs within it become microseconds after reading 0, which the board takes at tick 1.

#include "common/measurement_state.h"

#include <cstdint>

namespace acquisition {

class StampCollector {
public:
    // The stamps go into `stamps`, which must outlive the collector; it starts them afresh. The
    // board's clock correction (ppm) makes its ticks milliseconds; its counts within a tick it
    // leaves as they are, and they are corrected here.
    explicit StampCollector(common::EdgeStamps &stamps, double correction_ppm = 0);

    // An edge as the board sent it. One before reading 0 is passed over; one earlier than the last
    // kept, or of the same kind as it, is left out and counted as refused.
    void take(bool rising, std::uint16_t tick, std::uint8_t count);
    // The run ended with its last reading `last_us` after reading 0: the edges after it are not the
    // recording's.
    void end(std::int64_t last_us);

private:
    common::EdgeStamps &stamps_;
    std::int64_t tick_ = 0;  // the last kept edge's tick, counted on past 65535
    double count_us_;        // a count of the board's timer, in µs
};

}  // namespace acquisition
