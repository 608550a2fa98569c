// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Readings on their way from the sampling thread to the window: one thread puts them in, one
// takes them out, and neither ever waits for the other. The window takes them when it can, all
// that came since it last looked.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace acquisition {

class ReadingQueue {
public:
    // Readings the queue holds at most: a minute of readings at 1 ms. A window that has not looked
    // for that long is not drawing at all, and the readings after that are not kept for it.
    static constexpr std::size_t kCapacity = 65536;

    // The sampling thread: false when the queue is full and the reading was not kept.
    bool push(std::int16_t reading)
    {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) >= kCapacity)
            return false;
        readings_[tail % kCapacity] = reading;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    // The window: every reading that came since the last call, oldest first.
    std::vector<std::int16_t> take_all()
    {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        const std::size_t tail = tail_.load(std::memory_order_acquire);
        std::vector<std::int16_t> taken;
        taken.reserve(tail - head);
        for (std::size_t i = head; i != tail; ++i)
            taken.push_back(readings_[i % kCapacity]);
        head_.store(tail, std::memory_order_release);
        return taken;
    }

    // Either side, between runs only: forgets whatever is left.
    void clear() { head_.store(tail_.load()); }

private:
    std::array<std::int16_t, kCapacity> readings_{};
    std::atomic<std::size_t> head_{0};
    std::atomic<std::size_t> tail_{0};
};

}  // namespace acquisition
