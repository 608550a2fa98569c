// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "acquisition/streaming.h"

namespace acquisition {

StreamResult stream_readings(LoopHost &host, converter::StreamingConverter &board, std::int32_t period_ms,
    std::int32_t count, const StreamWatch &watch)
{
    using Kind = converter::BoardEvent::Kind;
    ActiveLoop active(host);
    const common::Clock &clock = host.clock();
    StreamResult result;
    auto ended = [&](StreamEnd end) {
        result.end = end;
        return result;
    };
    auto stop_and_end = [&](StreamEnd end) {
        board.stop();
        return ended(end);
    };
    if (!board.start(period_ms, count))
        return ended(StreamEnd::PortLost);
    std::int64_t heard_ns = clock.now_ns();
    // The sequence number the next reading carries: the board counts from 0 at each start.
    std::uint16_t next_sequence = 0;
    // Readings since that start, for the board's clock.
    std::int64_t since_start = 0;
    // After changes of the live period, the reports of the board that it stopped the readings at
    // an old period, still to come; the readings before the last of them are passed over.
    int stops_to_come = 0;
    bool stop_sent = false;
    // When the board greeted unasked after the run's readings began, with no reading since; -1:
    // it did not.
    std::int64_t greeted_ns = -1;
    for (;;) {
        if (host.loops_cancelled())
            return stop_and_end(StreamEnd::Cancelled);
        const std::optional<std::vector<converter::BoardEvent>> events = board.poll();
        const std::int64_t now_ns = clock.now_ns();
        if (!events)
            return ended(StreamEnd::PortLost);
        if (!events->empty())
            heard_ns = now_ns;
        for (const converter::BoardEvent &event : *events) {
            switch (event.kind) {
            case Kind::Reading:
                greeted_ns = -1;
                if (stops_to_come > 0 || (count != 0 && result.readings >= count))
                    break;
                if (event.sequence != next_sequence) {
                    result.first_missing = result.readings;
                    return stop_and_end(StreamEnd::Lost);
                }
                board.reading_arrived(since_start++, now_ns);
                if (watch.reading)
                    watch.reading(result.readings, event.value);
                ++result.readings;
                ++next_sequence;
                break;
            case Kind::Edge:
                if (stops_to_come == 0 && watch.edge)
                    watch.edge(event);
                break;
            case Kind::Finished:
                result.edges_lost = result.edges_lost || event.edges_lost;
                if (stops_to_come > 0)
                    break;
                if (result.readings < count) {
                    result.first_missing = result.readings;
                    return ended(StreamEnd::Lost);
                }
                board.run_ended(period_ms);
                return ended(StreamEnd::Finished);
            case Kind::Stopped:
                result.edges_lost = result.edges_lost || event.edges_lost;
                if (stops_to_come > 0) {
                    if (--stops_to_come == 0) {
                        next_sequence = 0;
                        since_start = 0;
                    }
                    break;
                }
                if (stop_sent) {
                    board.run_ended(period_ms);
                    return ended(StreamEnd::Stopped);
                }
                // Stopped by something else than this program: nothing more comes.
                return ended(StreamEnd::Silent);
            case Kind::Overflow:
                result.first_missing = result.readings;
                return ended(StreamEnd::Overflow);
            case Kind::Noise:
                result.noise = true;
                break;
            case Kind::Greeting:
                // Before the readings, the answer to a repeated question while the board was
                // starting. After them, the board restarted (a brown-out, a loose cable) unless
                // the readings go on: then it answered a correction between two live runs.
                if (result.readings > 0)
                    greeted_ns = now_ns;
                break;
            }
        }
        if (count != 0 && result.readings >= count && now_ns - heard_ns > kStreamLookNs * 10) {
            // Every reading is there; the report of the end was lost on its way.
            board.run_ended(period_ms);
            return ended(StreamEnd::Finished);
        }
        if (!stop_sent && watch.stop_requested && *watch.stop_requested != 0) {
            stop_sent = true;
            heard_ns = now_ns;
            // A port already closed by the stop button takes no more.
            if (!board.stop())
                return ended(StreamEnd::Stopped);
        }
        if (!stop_sent && watch.period_ms) {
            const std::int32_t asked_ms = watch.period_ms();
            if (asked_ms >= 1 && asked_ms != period_ms) {
                // Stopped first, so that a correction the board is given meanwhile, and its answer,
                // come between two runs.
                if (!board.stop())
                    return ended(StreamEnd::PortLost);
                if (stops_to_come == 0)
                    board.run_ended(period_ms);
                period_ms = asked_ms;
                ++stops_to_come;
                heard_ns = now_ns;
                if (!board.start(period_ms, count))
                    return ended(StreamEnd::PortLost);
            }
        }
        const std::int64_t two_periods_ns = 2 * static_cast<std::int64_t>(period_ms) * 1'000'000;
        if (now_ns - heard_ns > kSilenceNs + two_periods_ns
            || (greeted_ns >= 0 && now_ns - greeted_ns > kStreamLookNs * 10 + two_periods_ns))
            return stop_sent ? ended(StreamEnd::Stopped) : stop_and_end(StreamEnd::Silent);
        // Readings may come a millisecond apart, and waking for each would cost more than the
        // readings: the loop rests a few milliseconds, unwoken, then handles what came and its
        // thread's events, or waits for the next to come.
        host.sleep_until(now_ns + kStreamRestNs);
        host.wait_for_events(now_ns + kStreamLookNs);
    }
}

}  // namespace acquisition
