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
//
// A board of layout 2 also stamps every rise and fall of the light on its timer's input capture and
// sends each as a frame of five bytes: 0xE1 for a rise or 0xE0 for a fall, the 1 ms tick since "S"
// (low byte first, modulo 65536), the timer's count of 4 µs within that tick, and the CRC-8. Its
// end frame adds 0x10 to the code when it could not send every edge.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace converter {

// The layouts this program speaks: readings only, and readings with the edges stamped.
inline constexpr int kBoardLayout = 1;
inline constexpr int kEdgeLayout = 2;
inline constexpr int kBoardBaud = 250000;
inline constexpr std::uint8_t kReadingFrame = 0xA5;
inline constexpr std::uint8_t kEndFrame = 0x5A;
inline constexpr std::uint8_t kRiseFrame = 0xE1;
inline constexpr std::uint8_t kFallFrame = 0xE0;
// Added to an end frame's code when edges were left unsent.
inline constexpr std::uint8_t kEdgesLostFlag = 0x10;
// One count of the board's timer: the resolution of its edge stamps.
inline constexpr std::int32_t kEdgeCountUs = 4;

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
        Edge,      // `rising` or not, at tick `sequence` and count `value` within it
    };
    Kind kind = Kind::Reading;
    std::uint16_t sequence = 0;
    std::uint8_t value = 0;
    bool rising = false;      // an edge: the light began
    bool edges_lost = false;  // an end: some edges of the run were not sent
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
