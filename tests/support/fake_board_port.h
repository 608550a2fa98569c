// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A board behind a fake USB serial port, on a fake clock: it answers the greeting, takes its
// readings at the period asked for on a clock of its own (off by `clock_ppm`, disciplined by the
// correction it keeps) and sends them framed as the firmware does, each arriving over USB a little
// later. Each fault of a real line can be played.
#pragma once

#include "common/clock.h"
#include "converter/data_port.h"

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace test_support {

struct BoardScript {
    QByteArray greeting = "UNDOU-BOARD 1 1.0 -\n";  // empty: nothing answers
    QByteArray chatter;                             // sent, over and over, instead of answering
    double clock_ppm = 0;                           // how fast the board's own clock runs
    // An Uno restarts when its port is opened: its boot loader takes this long and passes over
    // what comes meanwhile, then the firmware greets of itself (0: no restart).
    std::int32_t boot_ms = 0;
    // Faults at reading k (-1: none).
    std::int32_t drop = -1;         // never sent
    std::int32_t corrupt = -1;      // its check byte spoilt
    std::int32_t doubled = -1;      // its value byte sent twice
    std::int32_t stray = -1;        // three stray bytes sent before it
    std::int32_t overflow_at = -1;  // the overflow report instead of it, and the run ends
    std::int32_t silent_at = -1;    // the board says nothing more from it on
    std::int32_t restart_at = -1;   // the board restarts: after boot_ms it greets, and runs no more
    std::int32_t unplug_at = -1;    // the port fails instead of it
};

class FakeBoardPort final : public converter::DataPort {
public:
    FakeBoardPort(const common::Clock &clock, BoardScript script) : clock_(clock), script_(std::move(script)) { }

    bool open(const std::string &name, std::int32_t) override;
    void close() override { open_ = false; }
    bool is_open() const override { return open_; }
    bool write(const QByteArray &bytes) override;
    std::optional<QByteArray> read() override;

    // The correction last written to the board, in ppm.
    std::optional<std::int32_t> written_correction() const { return written_; }
    void keep_correction(std::int32_t ppm) { kept_ = ppm; }
    std::int32_t starts() const { return starts_; }
    std::int32_t opens() const { return opens_; }
    // The board pulled out between runs: its open port fails from now on, and it will not open.
    void unplug() { unplugged_ = dead_ = true; }
    // Plugged in again, with a boot loader of `boot_ms`: it opens afresh; the old port stays failed.
    void plug_in(std::int32_t boot_ms)
    {
        unplugged_ = unplugging_ = false;
        script_.boot_ms = boot_ms;
    }

private:
    void obey(const QByteArray &line);
    QByteArray greeting() const;
    // When reading k of the current run is taken, on the PC's clock.
    std::int64_t taken_ns(std::int64_t k) const;

    const common::Clock &clock_;
    BoardScript script_;
    bool open_ = false;
    bool unplugging_ = false;
    bool unplugged_ = false;
    bool dead_ = false;  // the port that was open when the board was pulled out
    QByteArray command_;
    QByteArray out_;  // sent, not yet read
    std::optional<std::int32_t> kept_;
    std::optional<std::int32_t> written_;
    // The run.
    bool running_ = false;
    std::int64_t start_ns_ = 0;
    std::int32_t period_ms_ = 1;
    std::int64_t count_ = 0;
    std::int64_t next_ = 0;
    std::int32_t starts_ = 0;
    std::int32_t opens_ = 0;
    std::int64_t booted_ns_ = 0;  // the firmware greets when it starts, at this time
    bool greeted_at_boot_ = true;
};

}  // namespace test_support
