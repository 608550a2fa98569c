// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "converter/board_protocol.h"

#include <QList>

namespace converter {
namespace {

const QByteArray kGreetingStart = "UNDOU-BOARD ";
// A greeting line is short; past this, bytes without a line end are noise.
constexpr qsizetype kLongestLine = 64;

std::optional<BoardGreeting> greeting_of(const QByteArray &line)
{
    const QList<QByteArray> words = line.trimmed().split(' ');
    if (words.size() != 4 || words[0] != kGreetingStart.trimmed())
        return std::nullopt;
    BoardGreeting greeting;
    bool ok = false;
    greeting.layout = words[1].toInt(&ok);
    if (!ok)
        return std::nullopt;
    greeting.firmware = QString::fromLatin1(words[2]);
    if (words[3] != "-") {
        const std::int32_t ppm = words[3].toInt(&ok);
        if (!ok)
            return std::nullopt;
        greeting.correction = ppm;
    }
    return greeting;
}

}  // namespace

std::uint8_t crc8(const std::uint8_t *bytes, std::size_t count)
{
    std::uint8_t crc = 0;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80) ? static_cast<std::uint8_t>((crc << 1) ^ 0x07) : static_cast<std::uint8_t>(crc << 1);
    }
    return crc;
}

std::vector<BoardEvent> BoardReader::feed(const QByteArray &bytes)
{
    pending_ += bytes;
    std::vector<BoardEvent> events;
    std::uint32_t noise = 0;
    auto flush_noise = [&] {
        if (noise > 0) {
            BoardEvent event;
            event.kind = BoardEvent::Kind::Noise;
            event.value = static_cast<std::uint8_t>(std::min<std::uint32_t>(noise, 255));
            events.push_back(event);
            noise = 0;
        }
    };
    qsizetype at = 0;
    while (at < pending_.size()) {
        const auto first = static_cast<std::uint8_t>(pending_[at]);
        if (first == kReadingFrame || first == kEndFrame || first == kRiseFrame || first == kFallFrame) {
            if (pending_.size() - at < 5)
                break;
            const auto *frame = reinterpret_cast<const std::uint8_t *>(pending_.constData() + at);
            if (crc8(frame, 4) != frame[4]) {
                ++noise;
                ++at;
                continue;
            }
            flush_noise();
            BoardEvent event;
            event.sequence = static_cast<std::uint16_t>(frame[1] | (frame[2] << 8));
            event.value = frame[3];
            const std::uint8_t code = frame[3] & static_cast<std::uint8_t>(~kEdgesLostFlag);
            if (first == kReadingFrame) {
                event.kind = BoardEvent::Kind::Reading;
            } else if (first == kRiseFrame || first == kFallFrame) {
                event.kind = BoardEvent::Kind::Edge;
                event.rising = first == kRiseFrame;
            } else {
                event.kind = code == 1 ? BoardEvent::Kind::Finished
                    : code == 2        ? BoardEvent::Kind::Stopped
                                       : BoardEvent::Kind::Overflow;
                event.edges_lost = (frame[3] & kEdgesLostFlag) != 0;
            }
            events.push_back(event);
            at += 5;
            continue;
        }
        if (first == 'U') {
            const qsizetype end = pending_.indexOf('\n', at);
            if (end < 0 && pending_.size() - at < kLongestLine)
                break;
            if (end >= 0 && end - at < kLongestLine) {
                if (const std::optional<BoardGreeting> greeting = greeting_of(pending_.mid(at, end - at))) {
                    flush_noise();
                    BoardEvent event;
                    event.kind = BoardEvent::Kind::Greeting;
                    event.greeting = *greeting;
                    events.push_back(event);
                    at = end + 1;
                    continue;
                }
            }
        }
        ++noise;
        ++at;
    }
    flush_noise();
    pending_.remove(0, at);
    return events;
}

QByteArray hello_command() { return "H\n"; }

QByteArray start_command(std::int32_t period_ms, std::int32_t count)
{
    return "S " + QByteArray::number(period_ms) + ' ' + QByteArray::number(count) + '\n';
}

QByteArray stop_command() { return "X\n"; }

QByteArray correction_command(std::int32_t ppm) { return "C " + QByteArray::number(ppm) + '\n'; }

}  // namespace converter
