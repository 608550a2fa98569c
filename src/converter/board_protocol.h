// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// What the board says and what it is told (docs/board-protocol.md). The program's lines are text:
// "H" asks for the greeting, "S <period ms> <count>" starts readings (count 0: until "X"), "X"
// stops, "C <ppm>" keeps a correction of the board's clock. The board answers "H" and "C" with its
// greeting line, "UNDOU-BOARD <layout> <firmware> <correction ppm or ->", and sends each reading
// as a frame of five bytes: 0xA5, the sequence number (low byte first), the reading 0..255, and a
// CRC-8 (polynomial 0x07) over the four bytes before it. A run ends with a frame that starts 0x5A
// and carries, instead of a reading, why it ended: 1 finished, 2 stopped, 3 the board's buffer
// overflowed. A byte out of place, a frame whose check fails, or a reading out of sequence is
// never taken as a reading.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace converter {

inline constexpr int kBoardLayout = 1;
inline constexpr int kBoardBaud = 250000;
inline constexpr std::uint8_t kReadingFrame = 0xA5;
inline constexpr std::uint8_t kEndFrame = 0x5A;

struct BoardGreeting {
    int layout = 0;
    QString firmware;                        // "1.0"
    std::optional<std::int32_t> correction;  // ppm the board's clock runs fast; none kept yet
};

struct BoardEvent {
    enum class Kind {
        Greeting,  // `greeting`
        Reading,   // `sequence` and `value`
        Finished,  // the count asked for was taken
        Stopped,   // after "X"
        Overflow,  // the board could not send its readings as fast as it took them
        Noise,     // `value` bytes that were not part of any frame or line, or a frame whose check failed
    };
    Kind kind = Kind::Reading;
    std::uint16_t sequence = 0;
    std::uint8_t value = 0;
    BoardGreeting greeting;
};

std::uint8_t crc8(const std::uint8_t *bytes, std::size_t count);

// Takes the board's bytes as they come, in pieces of any size, and says what they were.
class BoardReader {
public:
    std::vector<BoardEvent> feed(const QByteArray &bytes);

private:
    QByteArray pending_;
};

// The program's lines.
QByteArray hello_command();
QByteArray start_command(std::int32_t period_ms, std::int32_t count);
QByteArray stop_command();
QByteArray correction_command(std::int32_t ppm);

}  // namespace converter
