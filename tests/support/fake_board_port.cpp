// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "fake_board_port.h"

#include "converter/board_protocol.h"

#include <QList>

namespace test_support {
namespace {

// Over USB a frame comes 1 to 3 ms after it was taken.
std::int64_t usb_delay_ns(std::int64_t k) { return 1'000'000 + (k * 7919 % 3) * 1'000'000; }

QByteArray frame(std::uint8_t kind, std::uint16_t sequence, std::uint8_t value)
{
    std::uint8_t bytes[5]
        = {kind, static_cast<std::uint8_t>(sequence & 0xFF), static_cast<std::uint8_t>(sequence >> 8), value, 0};
    bytes[4] = converter::crc8(bytes, 4);
    return QByteArray(reinterpret_cast<const char *>(bytes), 5);
}

}  // namespace

bool FakeBoardPort::open(const std::string &name, std::int32_t)
{
    open_ = name != "missing" && !unplugged_;
    if (open_) {
        ++opens_;
        dead_ = false;
        running_ = false;
        command_.clear();
        booted_ns_ = clock_.now_ns() + std::int64_t(script_.boot_ms) * 1'000'000;
        greeted_at_boot_ = script_.boot_ms == 0;
    }
    return open_;
}

QByteArray FakeBoardPort::greeting() const
{
    if (script_.greeting.isEmpty() || !kept_)
        return script_.greeting;
    // The greeting tells the correction the board keeps.
    QList<QByteArray> words = script_.greeting.trimmed().split(' ');
    words.last() = QByteArray::number(*kept_);
    return words.join(' ') + '\n';
}

bool FakeBoardPort::write(const QByteArray &bytes)
{
    if (!open_ || unplugged_ || dead_)
        return false;
    // The boot loader takes what comes while it runs.
    if (clock_.now_ns() < booted_ns_)
        return true;
    for (char c : bytes) {
        if (c != '\n') {
            command_ += c;
            continue;
        }
        obey(command_);
        command_.clear();
    }
    return true;
}

void FakeBoardPort::obey(const QByteArray &line)
{
    const QList<QByteArray> words = line.split(' ');
    if (words.value(0) == "H") {
        out_ += greeting();
    } else if (words.value(0) == "S" && words.size() == 3) {
        running_ = true;
        start_ns_ = clock_.now_ns();
        period_ms_ = words[1].toInt();
        count_ = words[2].toLongLong();
        next_ = 0;
        ++starts_;
    } else if (words.value(0) == "X") {
        if (running_)
            out_ += frame(converter::kEndFrame, static_cast<std::uint16_t>(next_), 2);
        running_ = false;
    } else if (words.value(0) == "C" && words.size() == 2) {
        written_ = words[1].toInt();
        kept_ = written_;
        out_ += greeting();
    }
}

std::int64_t FakeBoardPort::taken_ns(std::int64_t k) const
{
    // Its ticks are true milliseconds when the correction it keeps is its clock's own error.
    const double ms = static_cast<double>(period_ms_) * (1 + kept_.value_or(0) * 1e-6) / (1 + script_.clock_ppm * 1e-6);
    return start_ns_ + static_cast<std::int64_t>(static_cast<double>(k + 1) * ms * 1e6);
}

std::optional<QByteArray> FakeBoardPort::read()
{
    if (unplugging_)
        unplugged_ = true;
    if (unplugged_ || dead_ || !open_)
        return std::nullopt;
    const std::int64_t now = clock_.now_ns();
    if (!greeted_at_boot_ && now >= booted_ns_) {
        greeted_at_boot_ = true;
        out_ += greeting();
    }
    if (!script_.chatter.isEmpty())
        out_ += script_.chatter;
    while (running_ && (count_ == 0 || next_ < count_) && taken_ns(next_) + usb_delay_ns(next_) <= now) {
        const std::int64_t k = next_++;
        if (k == script_.unplug_at) {
            // What was on its way still comes; then the port fails.
            unplugging_ = true;
            break;
        }
        if (k == script_.silent_at) {
            running_ = false;
            break;
        }
        if (k == script_.restart_at) {
            running_ = false;
            greeted_at_boot_ = false;
            booted_ns_ = now + std::int64_t(script_.boot_ms) * 1'000'000;
            break;
        }
        if (k == script_.overflow_at) {
            out_ += frame(converter::kEndFrame, static_cast<std::uint16_t>(k), 3);
            running_ = false;
            break;
        }
        if (k == script_.stray)
            out_ += QByteArray("\x5A\x01\x99", 3);
        QByteArray bytes
            = frame(converter::kReadingFrame, static_cast<std::uint16_t>(k), static_cast<std::uint8_t>(k % 256));
        if (k == script_.corrupt)
            bytes[4] = static_cast<char>(bytes[4] ^ 0x10);
        if (k == script_.doubled)
            bytes.insert(3, bytes[3]);
        if (k != script_.drop)
            out_ += bytes;
        // A board of layout 2 stamps a hole edge half a tick after each reading's, rises and falls
        // in turn.
        if (script_.greeting.startsWith("UNDOU-BOARD 2"))
            out_ += frame(k % 2 == 0 ? converter::kRiseFrame : converter::kFallFrame,
                static_cast<std::uint16_t>(k * period_ms_ + 1), 125);
        if (count_ != 0 && next_ == count_) {
            out_ += frame(converter::kEndFrame, static_cast<std::uint16_t>(next_), 1);
            running_ = false;
        }
    }
    QByteArray bytes;
    bytes.swap(out_);
    return bytes;
}

}  // namespace test_support
