/* SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
 * SPDX-License-Identifier: GPL-3.0-or-later
 *
 * Which tick a hole edge stamped by Timer1's input capture belongs to, and when its frame may go
 * out among the readings' frames. Plain C with nothing of the AVR, so that the host's tests decide
 * both exactly as the board does.
 *
 * Timer1 counts 4 µs a count in CTC mode from 0 to its top, OCR1A (249, one more or less when the
 * clock's correction lengthens or shortens a tick), then starts the next tick from 0. Its compare
 * match comes when the count reaches the top, one count before the next tick starts. The tick
 * handler waits for that start before it counts the tick and sets the next top, so a tick counted
 * is always a tick begun. The capture's handler runs before the tick handler when both wait (it has
 * the higher priority), and a capture may also come while the tick handler runs; either way the
 * capture's handler runs within some tens of µs of the capture, well within half a tick.
 */

#ifndef UNDOU_BOARD_EDGES_H
#define UNDOU_BOARD_EDGES_H

#include <stdint.h>

/* The count a frame carries is one byte: a tick runs past 256 counts only with a correction above
 * +2.4 %, far beyond any Uno's or Nano's clock, and its last counts are then stamped 255. */
#define EDGE_COUNT_MOST 255

/* An edge: the tick it happened in, counted from the run's start, and its count within that tick. */
struct EdgeStamp {
    uint16_t tick;
    uint8_t count;
};

/* Stamps a capture. `ticks_counted` is the tick handler's count of ticks begun, `captured` the
 * count the capture took (ICR1), then, read in this order, `now` the count now (TCNT1),
 * `match_waiting` whether a compare match waits for the tick handler (OCF1A) and `top` the top now
 * (OCR1A).
 *
 * The tick the counter is in now is the one counted, or the next when a match waits and the
 * counter has already started that tick (its count is small; a count near the top means that the
 * match came but the next tick has not started). A capture taken at a higher count than the count
 * now was taken before the counter started the tick it is in now: in the tick before. */
static inline struct EdgeStamp edge_stamp(
    uint16_t ticks_counted, uint16_t captured, uint16_t now, uint8_t match_waiting, uint16_t top)
{
    uint16_t tick_now = ticks_counted;
    if (match_waiting && now < (uint16_t)((top + 1) / 2))
        tick_now = (uint16_t)(tick_now + 1);
    struct EdgeStamp stamp;
    stamp.tick = captured > now ? (uint16_t)(tick_now - 1) : tick_now;
    stamp.count = captured > EDGE_COUNT_MOST ? EDGE_COUNT_MOST : (uint8_t)captured;
    return stamp;
}

/* Whether an edge of tick `edge_tick` may go out now, with `tick` the tick under way and
 * `converting` telling whether the reading of tick `reading_tick` is being converted: only when
 * every reading that goes before it has gone. The reading of a tick goes before that tick's edges
 * (their instants are its tick's start or later), so an edge waits while the reading of its tick or
 * of an earlier one is converted, and while its tick's handler has not run: that tick may have a
 * reading. Ticks compare modulo 65536, a run's edges being within half of that of each other. */
static inline uint8_t edge_may_go(uint16_t edge_tick, uint16_t tick, uint8_t converting, uint16_t reading_tick)
{
    if ((int16_t)(uint16_t)(edge_tick - tick) > 0)
        return 0;
    return !(converting && (int16_t)(uint16_t)(edge_tick - reading_tick) >= 0);
}

#endif
