/* SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
 * SPDX-License-Identifier: GPL-3.0-or-later
 *
 * The board that replaces the converter: an ATmega328P at 16 MHz (an Uno or a Nano) reads the light
 * sensor's voltage on A0 at the period the program asks for, on its own timer, and sends each
 * reading over its USB serial port (UART0) in a frame with a sequence number and a check. The
 * sensor's output also reaches D8 (ICP1), where Timer1's input capture stamps every rise and fall
 * of the light to 4 µs; each stamp goes out in a frame of its own. docs/board-protocol.md describes
 * what it says and what it answers to.
 *
 * The same file builds from the Arduino IDE (this folder is a sketch) and with avr-gcc
 * (scripts/build-firmware.sh): it has its own main(), and uses nothing of the Arduino core.
 */

#include <avr/eeprom.h>
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/sleep.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "commands.h"
#include "edges.h"

#define BOARD_LAYOUT 2          /* the protocol's layout, in the greeting */
#define FIRMWARE_VERSION "2.0"  /* this firmware */
#ifndef F_CPU
#define F_CPU 16000000UL /* an Uno's or a Nano's clock */
#endif
#define BAUD 250000 /* exactly, at 16 MHz: 16 MHz / (16 x 4) */
#include <util/setbaud.h>

#define FRAME_READING 0xA5
#define FRAME_END 0x5A
#define FRAME_RISE 0xE1 /* D8 went high: light, a hole's leading edge */
#define FRAME_FALL 0xE0 /* D8 went low */
#define END_FINISHED 1
#define END_STOPPED 2
#define END_OVERFLOW 3
#define END_EDGES_LOST 0x10 /* added to the end's code when an edge of the run could not be sent */

/* The clock's correction, kept in the EEPROM: a mark, then parts per million by which the board's
 * own clock runs fast (positive) or slow. */
#define EEPROM_MARK 0x55C0
static uint16_t EEMEM kept_mark;
static int32_t EEMEM kept_correction_ppm;

/* The bytes waiting to go out. Frames never wait: a reading that finds no room ends the run with
 * the overflow report instead, and an edge is dropped. */
#define TX_SIZE 256
static volatile uint8_t tx_buffer[TX_SIZE];
static volatile uint8_t tx_head;
static volatile uint8_t tx_tail;

/* Command lines from the program, taken in by the receiver and obeyed in turn: a few may come while
 * one is obeyed (the EEPROM takes milliseconds to write). A line that is too long, or that begins
 * while all the places are taken, is dropped whole, never cut into a shorter command. */
#define LINE_SIZE 40
#define LINES 4
static volatile char lines[LINES][LINE_SIZE];
static volatile uint8_t line_length; /* of the line coming in, lines[line_in] */
static volatile uint8_t line_dropped; /* the line coming in is being passed over */
static volatile uint8_t line_in;
static volatile uint8_t line_out;
static volatile uint8_t lines_ready;

/* The run. */
static volatile uint8_t running;
static volatile uint16_t period_ms = 1;
static volatile uint16_t count; /* readings to take; 0 for the live view, until told to stop */
static volatile uint16_t taken;
static volatile uint16_t sequence;
static volatile uint16_t ticks_left;
static volatile uint8_t overflowed;

/* The edges. The capture's handler only stamps an edge and queues it, so that chatter at the
 * threshold, or a D8 left unwired and floating, cannot hold up the tick, the readings or the
 * commands: when the queue is full the capture pauses until the next tick. The queued edges go out
 * in the order of their instants among the readings (edge_may_go()), and only when room for two
 * more frames stays after them, a reading's and the run's end; an edge that cannot is dropped, and
 * the run's end says so. The frames always alternate, a rise then a fall: an edge of the same kind
 * as the last one sent, which follows a dropped one, is dropped too. */
#define EDGE_ROOM_LEFT 10
#define EDGES_QUEUED 8
struct QueuedEdge {
    uint8_t kind;
    uint8_t count;
    uint16_t tick;
};
/* The ticks begun since the run's start: the tick under way. */
static volatile uint16_t tick;
/* A reading's conversion, started at reading_tick, is under way. */
static volatile uint8_t converting;
static volatile uint16_t reading_tick;
static volatile struct QueuedEdge queued[EDGES_QUEUED];
static volatile uint8_t queue_first;
static volatile uint8_t queue_length;
static volatile uint8_t capture_paused;
static volatile uint8_t last_kind; /* of the last edge sent, or the other kind than the first's */
static volatile uint8_t edges_lost;

/* The clock's discipline: each 1 ms tick is 250 counts of the timer at 4 µs, and the correction adds
 * or takes counts now and then, so that the ticks keep to true milliseconds on average whatever the
 * board's resonator does: `per_tick` millionths of a count a tick, gathered until they make one. */
static int32_t correction_ppm;
static volatile int32_t per_tick;
static volatile int32_t gathered;

/* CRC-8, polynomial x^8 + x^2 + x + 1 (0x07), no reflection, a byte at a time from a table that
 * main() fills at the start: a frame's check then takes a few cycles a byte, not forty, and the
 * handlers that put frames hold interrupts off that much less. */
static uint8_t crc8_table[256];

static void fill_crc8_table(void)
{
    for (uint16_t byte = 0; byte < 256; ++byte) {
        uint8_t crc = (uint8_t)byte;
        for (uint8_t bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80) ? (uint8_t)((crc << 1) ^ 0x07) : (uint8_t)(crc << 1);
        crc8_table[byte] = crc;
    }
}

static uint8_t crc8(uint8_t crc, uint8_t data) { return crc8_table[crc ^ data]; }

static uint8_t tx_room(void) { return (uint8_t)(tx_tail - tx_head - 1); }

static void tx_put(uint8_t byte)
{
    tx_buffer[tx_head] = byte;
    tx_head = (uint8_t)(tx_head + 1);
    UCSR0B |= _BV(UDRIE0);
}

/* Puts a frame of five bytes, or nothing where there is no room for it. */
static uint8_t put_frame(uint8_t kind, uint16_t number, uint8_t value)
{
    if (tx_room() < 5)
        return 0;
    const uint8_t low = (uint8_t)number;
    const uint8_t high = (uint8_t)(number >> 8);
    uint8_t crc = crc8(crc8(crc8(crc8(0, kind), low), high), value);
    tx_put(kind);
    tx_put(low);
    tx_put(high);
    tx_put(value);
    tx_put(crc);
    return 1;
}

/* Puts a line of text whole, as a frame goes in: it waits for room for all of it, then puts it
 * with interrupts held off, so that no frame lands inside it. */
static void put_line(const char *text)
{
    const uint8_t length = (uint8_t)strlen(text);
    for (;;) {
        /* Interrupts on while it waits: the UART's makes the room. */
        while (tx_room() < length) { }
        cli();
        if (tx_room() >= length)
            break;
        sei();
    }
    for (uint8_t i = 0; i < length; ++i)
        tx_put((uint8_t)text[i]);
    sei();
}

static uint8_t edge_room(void) { return tx_room() >= 5 + EDGE_ROOM_LEFT; }

/* Takes the first queued edge out: puts its frame when there is room, drops it otherwise. Called
 * with interrupts off. */
static void put_first_edge(void)
{
    const volatile struct QueuedEdge *edge = &queued[queue_first];
    if (edge->kind == last_kind || !edge_room()) {
        edges_lost = 1;
    } else {
        put_frame(edge->kind, edge->tick, edge->count);
        last_kind = edge->kind;
    }
    queue_first = (uint8_t)((queue_first + 1) % EDGES_QUEUED);
    --queue_length;
}

/* Whether the first queued edge may go out now. Called with interrupts off. */
static uint8_t first_edge_may_go(void)
{
    return queue_length != 0 && edge_may_go(queued[queue_first].tick, tick, converting, reading_tick);
}

static void set_discipline(void)
{
    /* A fast clock (a positive correction) makes its ticks longer: 250 counts x ppm a million. */
    cli();
    per_tick = correction_ppm * 250;
    gathered = 0;
    sei();
}

static uint8_t end_code(uint8_t code) { return (uint8_t)(code | (edges_lost ? END_EDGES_LOST : 0)); }

/* Ends the run; the queued edges go before the end. Called with interrupts off. */
static void stop_run(uint8_t code)
{
    running = 0;
    converting = 0;
    while (queue_length != 0)
        put_first_edge();
    put_frame(FRAME_END, sequence, end_code(code));
}

ISR(TIMER1_COMPA_vect)
{
    /* The next tick's length: 250 counts, and the whole counts the discipline has gathered. */
    int16_t extra = 0;
    gathered += per_tick;
    while (gathered >= 1000000L) {
        gathered -= 1000000L;
        ++extra;
    }
    while (gathered <= -1000000L) {
        gathered += 1000000L;
        --extra;
    }
    /* The match comes at the tick's last count, and the counter starts the next tick a count later.
     * Until then the top stays: CTC mode has no double buffering, and a top written below the count
     * would be missed, the counter running on to 65535. The edges, too, take `tick` to be a tick
     * begun. A wait of 4 µs at most. */
    while (TCNT1 == OCR1A) { }
    OCR1A = (uint16_t)(249 + extra);
    tick = (uint16_t)(tick + 1);
    if (!running)
        return;
    /* The capture goes on: after a pause, without the edges it passed over. */
    if (capture_paused) {
        if (TIFR1 & _BV(ICF1))
            edges_lost = 1;
        TIFR1 = _BV(ICF1);
        capture_paused = 0;
    }
    TIMSK1 |= _BV(ICIE1);
    if (--ticks_left != 0)
        return;
    ticks_left = period_ms;
    /* The reading of this instant: a conversion started now. */
    reading_tick = tick;
    converting = 1;
    ADCSRA |= _BV(ADSC);
}

ISR(TIMER1_CAPT_vect)
{
    /* Read in the order edge_stamp() takes them. */
    const uint16_t captured = ICR1;
    const uint16_t now = TCNT1;
    const uint8_t match_waiting = (TIFR1 & _BV(OCF1A)) != 0;
    const uint16_t top = OCR1A;
    const uint8_t kind = (TCCR1B & _BV(ICES1)) ? FRAME_RISE : FRAME_FALL;
    /* The next edge is the other way. A change of ICES1 may itself set ICF1, so it is cleared
     * after. */
    TCCR1B ^= _BV(ICES1);
    TIFR1 = _BV(ICF1);
    /* A waiting tick goes first: this handler has the higher priority, and the tick's handler
     * enables it again, during a run. Between runs the capture stays off. */
    if (match_waiting || !running)
        TIMSK1 &= (uint8_t)~_BV(ICIE1);
    if (!running)
        return;
    if (queue_length == EDGES_QUEUED) {
        edges_lost = 1;
        capture_paused = 1;
        TIMSK1 &= (uint8_t)~_BV(ICIE1);
        return;
    }
    const struct EdgeStamp stamp = edge_stamp(tick, captured, now, match_waiting, top);
    volatile struct QueuedEdge *edge = &queued[(queue_first + queue_length) % EDGES_QUEUED];
    edge->kind = kind;
    edge->count = stamp.count;
    edge->tick = stamp.tick;
    ++queue_length;
}

ISR(ADC_vect)
{
    /* A conversion that a new run found under way belongs to no reading of it. */
    if (!running || !converting)
        return;
    /* The edges before this reading's instant go first, or are dropped: a reading never waits. */
    while (first_edge_may_go())
        put_first_edge();
    converting = 0;
    const uint8_t value = ADCH;
    if (!put_frame(FRAME_READING, sequence, value)) {
        overflowed = 1;
        running = 0;
        if (queue_length != 0)
            edges_lost = 1;
        queue_length = 0;
        return;
    }
    sequence = (uint16_t)(sequence + 1);
    ++taken;
    if (count != 0 && taken >= count)
        stop_run(END_FINISHED);
}

ISR(USART_UDRE_vect)
{
    if (tx_tail == tx_head) {
        UCSR0B &= (uint8_t)~_BV(UDRIE0);
        return;
    }
    UDR0 = tx_buffer[tx_tail];
    tx_tail = (uint8_t)(tx_tail + 1);
}

ISR(USART_RX_vect)
{
    const char c = (char)UDR0;
    if (c == '\n' || c == '\r') {
        /* A line that began with room keeps it to its end: only this handler takes places. */
        if (line_length > 0 && !line_dropped) {
            lines[line_in][line_length] = 0;
            line_in = (uint8_t)((line_in + 1) % LINES);
            ++lines_ready;
        }
        line_length = 0;
        line_dropped = 0;
        return;
    }
    if (line_dropped)
        return;
    if (lines_ready == LINES || line_length + 1 >= LINE_SIZE) {
        line_dropped = 1;
        return;
    }
    lines[line_in][line_length++] = c;
}

static void greet(void)
{
    /* At most "UNDOU-BOARD 2 2.0 -2147483648\n". Reading the mark waits for an EEPROM write under
     * way, so the greeting after C tells that the correction is kept. */
    char line[32] = "UNDOU-BOARD ";
    itoa(BOARD_LAYOUT, line + strlen(line), 10);
    strcat(line, " " FIRMWARE_VERSION " ");
    if (eeprom_read_word(&kept_mark) == EEPROM_MARK)
        ltoa(correction_ppm, line + strlen(line), 10);
    else
        strcat(line, "-");
    strcat(line, "\n");
    put_line(line);
}

static void start(uint16_t period, uint16_t readings)
{
    cli();
    period_ms = period;
    count = readings;
    taken = 0;
    sequence = 0;
    overflowed = 0;
    /* The first reading at once, each later one a period after the one before. */
    ticks_left = 1;
    tick = 0;
    converting = 0;
    queue_length = 0;
    edges_lost = 0;
    /* The first edge is the pin's change from its level now. */
    if (PINB & _BV(PINB0)) {
        TCCR1B &= (uint8_t)~_BV(ICES1);
        last_kind = FRAME_RISE;
    } else {
        TCCR1B |= _BV(ICES1);
        last_kind = FRAME_FALL;
    }
    running = 1;
    capture_paused = 0;
    TCNT1 = 0;
    /* Tick 0 starts now: a match or a capture that came before belongs to no tick of the run. */
    TIFR1 = _BV(OCF1A) | _BV(ICF1);
    TIMSK1 |= _BV(ICIE1);
    sei();
}

/* A line that parse_command() does not take changes nothing: no run starts or stops, and the
 * EEPROM is not written. */
static void obey(const char *line)
{
    const struct Command command = parse_command(line);
    switch (command.kind) {
    case COMMAND_HELLO:
        greet();
        break;
    case COMMAND_START:
        start(command.period_ms, command.count);
        break;
    case COMMAND_STOP:
        cli();
        if (running)
            stop_run(END_STOPPED);
        sei();
        break;
    case COMMAND_CORRECTION:
        /* The EEPROM's writes leave interrupts on (avr-libc holds them off for the few cycles that
         * start a byte's write): the timer and the readings keep their times while it writes. */
        correction_ppm = command.ppm;
        eeprom_update_dword((uint32_t *)&kept_correction_ppm, (uint32_t)command.ppm);
        eeprom_update_word(&kept_mark, EEPROM_MARK);
        set_discipline();
        greet();
        break;
    case COMMAND_IGNORED:
        break;
    }
}

int main(void)
{
    /* UART0: 250000 baud, 8 data bits, no parity, one stop bit. */
    UBRR0H = UBRRH_VALUE;
    UBRR0L = UBRRL_VALUE;
#if USE_2X
    UCSR0A = _BV(U2X0);
#else
    UCSR0A = 0;
#endif
    UCSR0B = _BV(RXEN0) | _BV(TXEN0) | _BV(RXCIE0);
    UCSR0C = _BV(UCSZ01) | _BV(UCSZ00);
    fill_crc8_table();
    /* The ADC on A0 against AVCC, the result left-adjusted so that its high byte is 0..255; a
     * conversion of 13 cycles at 125 kHz, 104 µs. */
    ADMUX = _BV(REFS0) | _BV(ADLAR);
    ADCSRA = _BV(ADEN) | _BV(ADIE) | _BV(ADPS2) | _BV(ADPS1) | _BV(ADPS0);
    DIDR0 = _BV(ADC0D);
    /* Timer1: 16 MHz / 64 = 250 kHz, a tick every 250 counts, 1 ms. Its input capture on D8 with
     * the noise canceller, which takes a level only when four samples of the clock agree: the
     * capture comes 4 cycles (0.25 µs) after the edge. D8 is an input, without its pull-up, which
     * would lift A0's dark level; its interrupt is on only during a run. */
    TCCR1A = 0;
    TCCR1B = _BV(ICNC1) | _BV(WGM12) | _BV(CS11) | _BV(CS10);
    OCR1A = 249;
    TIMSK1 = _BV(OCIE1A);
    if (eeprom_read_word(&kept_mark) == EEPROM_MARK)
        correction_ppm = (int32_t)eeprom_read_dword((const uint32_t *)&kept_correction_ppm);
    set_discipline();
    sei();
    greet();

    set_sleep_mode(SLEEP_MODE_IDLE);
    for (;;) {
        if (lines_ready) {
            char command[LINE_SIZE];
            memcpy(command, (const char *)lines[line_out], LINE_SIZE);
            line_out = (uint8_t)((line_out + 1) % LINES);
            cli();
            --lines_ready;
            sei();
            obey(command);
        }
        /* An edge that may go, as room allows; the others wait for their reading or for room. One a
         * pass, so that interrupts are taken between them. */
        cli();
        if (first_edge_may_go() && edge_room())
            put_first_edge();
        sei();
        if (overflowed) {
            /* Said once there is room again: the run is over. */
            cli();
            if (tx_room() >= 5) {
                overflowed = 0;
                put_frame(FRAME_END, sequence, end_code(END_OVERFLOW));
            }
            sei();
        }
        cli();
        if (!lines_ready && !overflowed && !(first_edge_may_go() && edge_room())) {
            sleep_enable();
            sei();
            sleep_cpu();
            sleep_disable();
        }
        sei();
    }
}
