// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A fake of the modem-control lines for tests: it logs every operation in order and answers the
// status queries from a script.

#include "converter/serial_lines.h"

#include <deque>
#include <string>
#include <vector>

namespace converter {

enum class LineOp { Open, Close, SetRts, ClearRts, SetDtr, ClearDtr, QueryStatus };

class RecordingLines final : public SerialLines {
public:
    PortHandle open(const std::string &name) override;
    void close() override;
    bool set_rts(bool asserted) override;
    bool set_dtr(bool asserted) override;
    std::optional<ModemStatus> modem_status() override;

    // When set, open fails (a missing or busy device).
    bool fail_open = false;
    // When set, every line operation and query fails, as on a port that is not a real serial port.
    bool fail_lines = false;
    // Answers to the status queries, taken from the front; `idle_answer` once they run out.
    std::deque<ModemStatus> answers;
    ModemStatus idle_answer{};

    std::vector<LineOp> log;
    std::vector<std::string> opened_names;
    bool is_open = false;
    bool dtr_asserted = false;  // the level DTR was last set to
    // DTR's level at each status query, in order.
    std::vector<bool> dtr_at_query;

private:
    int next_handle_ = 3;
};

}  // namespace converter
