// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The board that replaces the converter, behind the converter session: opened on its USB serial
// port, it answers with its greeting, then takes its readings on its own clock and sends them as
// they come. It also learns how fast its clock runs against the PC's, over long runs, and keeps
// the correction on the board.

#include "common/clock.h"
#include "converter/board_protocol.h"
#include "converter/converter.h"
#include "converter/data_port.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace converter {

// The firmware this program is made with, which stamps the edges (layout 2); a board of layout 1
// with its firmware still serves, with edges found in the readings.
inline const QString kBoardFirmware = QStringLiteral("2.0");
inline const QString kReadingsOnlyFirmware = QStringLiteral("1.0");
// The words of a board's source in the 入力 row: its kind first, then its port, and pairs of a name
// and a value.
inline const QString kBoardSourceKind = QStringLiteral("board");
inline const QString kBoardFirmwareKey = QStringLiteral("ファームウェア");
inline const QString kBoardClockKey = QStringLiteral("時計の補正(ppm)");
inline const QString kBoardClockNone = QStringLiteral("なし");

class BoardConverter final : public Converter, public StreamingConverter {
public:
    // `wait(until_ns)` waits on the clock until then, the window's events handled meanwhile.
    // `list_ports` gives the USB serial ports there are now (usb_serial_ports when none).
    BoardConverter(DataPort &port, const common::Clock &clock, std::function<void(std::int64_t until_ns)> wait,
        std::function<std::vector<std::string>()> list_ports = {});
    ~BoardConverter() override;

    // Opens the named port; an empty name stands for the first USB serial port on which a board
    // answers, looked for by init_converter. False when the port does not open, or there is no USB
    // serial port at all (then why_not_ready() says so).
    //
    // A board that greeted on a port still open is kept, and is ready at once: opening its port
    // again would restart an Uno or a Nano, and its boot loader would hold the first readings back
    // by a second or two. It is opened afresh when its port has failed since (the board pulled
    // out), or another port is named.
    bool open_port(const std::string &name) override;
    void close_port() override;
    // Waits for the board's greeting: an Uno or a Nano restarts when its port is opened, and its
    // boot loader runs first. True when a board of this layout and firmware answered within
    // kGreetingWaitNs; otherwise why_not_ready() says whether nothing answered or another firmware.
    // True at once for a board kept open.
    bool init_converter() override;
    std::int16_t read_converter(std::int16_t) override { return 0; }
    std::uint64_t line_failures() const override { return failures_; }
    std::optional<SessionFault> why_not_ready() const override { return fault_; }
    StreamingConverter *streaming() override { return this; }

    bool start(std::int32_t period_ms, std::int32_t count) override;
    std::optional<std::vector<BoardEvent>> poll() override;
    bool stop() override;
    void reading_arrived(std::int64_t index, std::int64_t at_ns) override;
    void run_ended(std::int32_t period_ms) override;
    QStringList source() const override;
    std::optional<QString> other_firmware() const override;
    bool ready() const override { return ready_.load(std::memory_order_acquire); }
    bool stamps_edges() const override { return greeting_ && greeting_->layout == kEdgeLayout; }
    double clock_correction_ppm() const override { return greeting_ ? greeting_->correction.value_or(0) : 0; }

    std::string port_name() const override { return name_; }
    const std::optional<BoardGreeting> &greeting() const { return greeting_; }

    // Nothing answered within this long, the boot loader's wait included: the message comes within 3 s.
    static constexpr std::int64_t kGreetingWaitNs = 2'800'000'000;
    // A run of this long or more measures the board's clock well enough to correct it.
    static constexpr double kLeastCalibrationS = 20;

private:
    bool greet();
    // The board greeted on the port still open, and that port still reads: whatever came since
    // the last run is taken in, a new correction's greeting included.
    bool still_there(const std::string &name);

    DataPort &port_;
    const common::Clock &clock_;
    std::function<void(std::int64_t)> wait_;
    std::function<std::vector<std::string>()> list_ports_;
    BoardReader reader_;
    std::string name_;
    std::vector<std::string> candidates_;
    std::optional<BoardGreeting> greeting_;
    std::optional<SessionFault> fault_;
    std::uint64_t failures_ = 0;
    // Set by open_port for a board kept open: init_converter has nothing to wait for.
    bool kept_ = false;
    // The board greeted and its port is open; read by the window's thread.
    std::atomic<bool> ready_{false};
    // The earliest arrival, less its reading's place on the board's clock, in two stretches of the
    // run: its start and its end (the block under way and the one before it). The lower edge of the
    // arrivals is their delay over USB at its least.
    struct Edge {
        std::int64_t index = -1;
        std::int64_t lag_ns = 0;
    };
    Edge first_edge_;
    Edge last_edge_;
    Edge block_edge_;
    std::int64_t run_start_ns_ = 0;
    std::int32_t period_ms_ = 1;
};

}  // namespace converter
