/* SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
 * SPDX-License-Identifier: GPL-3.0-or-later
 *
 * One command line from the program, read into what it asks. Plain C with nothing of the AVR, so
 * that the host's tests read lines exactly as the board does.
 *
 * A line is taken only when it is exactly one of
 *   H                      the greeting
 *   S <period_ms> <count>  a run: period 1..1000 ms, count 0..65535 (0: until X)
 *   X                      the end of the run
 *   C <ppm>                the clock's correction, -50000..50000
 * with one space between the words, nothing after the last, and numbers in decimal digits (a '-'
 * first only in the correction). Anything else is ignored, and must not change the board.
 */

#ifndef UNDOU_BOARD_COMMANDS_H
#define UNDOU_BOARD_COMMANDS_H

#include <stdint.h>

#define COMMAND_PERIOD_MS_LEAST 1
#define COMMAND_PERIOD_MS_MOST 1000
/* The run's counters and the frames' sequence numbers are 16 bits: 65535 readings is over a minute
 * at 1 ms, where a 計測 takes at most 10001. */
#define COMMAND_COUNT_MOST 65535
#define COMMAND_PPM_MOST 50000

enum CommandKind { COMMAND_IGNORED, COMMAND_HELLO, COMMAND_START, COMMAND_STOP, COMMAND_CORRECTION };

/* What a line asks; the numbers that its kind does not carry are 0. */
struct Command {
    enum CommandKind kind;
    uint16_t period_ms;
    uint16_t count;
    int32_t ppm;
};

/* Reads a decimal whole number in least..most at *text, with a '-' first only when least is
 * negative, and leaves *text on the character after its digits. Returns 0, leaving *text as it
 * was, when there is none or it is out of range. Digits are taken only while the value stays
 * within range, so a long string of them cannot overflow. */
static inline uint8_t command_number(const char **text, int32_t least, int32_t most, int32_t *number)
{
    const char *at = *text;
    uint8_t negative = 0;
    if (*at == '-' && least < 0) {
        negative = 1;
        ++at;
    }
    if (*at < '0' || *at > '9')
        return 0;
    const int32_t bound = negative ? -least : most;
    int32_t magnitude = 0;
    while (*at >= '0' && *at <= '9') {
        magnitude = magnitude * 10 + (*at - '0');
        if (magnitude > bound)
            return 0;
        ++at;
    }
    const int32_t value = negative ? -magnitude : magnitude;
    if (value < least)
        return 0;
    *number = value;
    *text = at;
    return 1;
}

/* Reads one NUL-terminated line, without its line feed. */
static inline struct Command parse_command(const char *line)
{
    struct Command command = {COMMAND_IGNORED, 0, 0, 0};
    int32_t first = 0;
    int32_t second = 0;
    const char *rest = line + 1;
    switch (line[0]) {
    case 'H':
        if (*rest == 0)
            command.kind = COMMAND_HELLO;
        break;
    case 'X':
        if (*rest == 0)
            command.kind = COMMAND_STOP;
        break;
    case 'S':
        if (*rest++ == ' ' && command_number(&rest, COMMAND_PERIOD_MS_LEAST, COMMAND_PERIOD_MS_MOST, &first)
            && *rest++ == ' ' && command_number(&rest, 0, COMMAND_COUNT_MOST, &second) && *rest == 0) {
            command.kind = COMMAND_START;
            command.period_ms = (uint16_t)first;
            command.count = (uint16_t)second;
        }
        break;
    case 'C':
        if (*rest++ == ' ' && command_number(&rest, -COMMAND_PPM_MOST, COMMAND_PPM_MOST, &first) && *rest == 0) {
            command.kind = COMMAND_CORRECTION;
            command.ppm = first;
        }
        break;
    default:
        break;
    }
    return command;
}

#endif
