// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The loop of a run on a converter with a clock of its own (the board): the program asks for the
// readings once, then only waits for them to come and takes them in order. Nothing is timed here:
// reading i is i periods after reading 0 on the board's clock. A reading that does not come, or
// comes out of order, ends the run at the last one in order; none is ever filled in.

#include "acquisition/loop_host.h"
#include "converter/board_protocol.h"
#include "converter/converter.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace acquisition {

enum class StreamEnd {
    Finished,   // every reading asked for came, in order
    Stopped,    // the stop flag ended it; the readings that came before are kept
    Lost,       // a reading did not come (`first_missing`), or came garbled (`noise`)
    Overflow,   // the board could not send its readings as fast as it took them
    Silent,     // nothing came for kSilenceNs and the periods asked for
    PortLost,   // the port failed: the board was pulled out
    Cancelled,  // the window is going away
};

struct StreamResult {
    StreamEnd end = StreamEnd::Finished;
    // Readings 0..readings-1 came in order.
    std::int32_t readings = 0;
    // Lost: the first reading that did not come in its place.
    std::int32_t first_missing = 0;
    // Bytes came that were not part of any frame, or a frame failed its check, before the end.
    bool noise = false;
    // The board said that it could not send every edge it stamped.
    bool edges_lost = false;
};

struct StreamWatch {
    // Reading `index` came with `value` (0..255).
    std::function<void(std::int32_t index, std::int16_t value)> reading;
    // An edge the board stamped (layout 2), as it came.
    std::function<void(const converter::BoardEvent &edge)> edge;
    // Set by the stop button; tested after every wait.
    const std::atomic<std::int16_t> *stop_requested = nullptr;
    // The live view: the period, read afresh after every wait; a change starts the readings again
    // at the new period. None: the period of the start holds.
    std::function<std::int32_t()> period_ms;
};

// Asks the converter for `count` readings at `period_ms` (0: until stopped) and takes them as
// they come, waiting on the host between them, until they are all there, the stop flag is set, or
// a fault ends the run. The converter learns when each reading came, and hears when a run has
// ended well, for its clock.
StreamResult stream_readings(LoopHost &host, converter::StreamingConverter &board, std::int32_t period_ms,
    std::int32_t count, const StreamWatch &watch);

// A board that sends nothing for this long, beyond two of its periods, has stopped.
inline constexpr std::int64_t kSilenceNs = 2'000'000'000;
// The longest wait between two looks at the port when no event wakes the loop.
inline constexpr std::int64_t kStreamLookNs = 10'000'000;
inline constexpr std::int64_t kStreamRestNs = 5'000'000;

}  // namespace acquisition
