// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Modem-control lines that count every call: a free stand-in that answers at once with fixed
// levels, and a wrapper that counts the calls on its way to other lines.

#include "converter/serial_lines.h"

#include <cstdint>

namespace bench {

struct LineCounts {
    std::uint64_t output_changes = 0;  // RTS and DTR operations
    std::uint64_t status_queries = 0;  // modem-status queries
};

// Lines that cost nothing: every call is counted and answered with the same levels.
class FixedAnswerLines final : public converter::SerialLines {
public:
    explicit FixedAnswerLines(converter::ModemStatus answer) : answer_(answer) { }

    converter::PortHandle open(const std::string &) override { return 1; }
    void close() override { }
    bool set_rts(bool) override
    {
        ++counts.output_changes;
        return true;
    }
    bool set_dtr(bool) override
    {
        ++counts.output_changes;
        return true;
    }
    std::optional<converter::ModemStatus> modem_status() override
    {
        ++counts.status_queries;
        return answer_;
    }

    LineCounts counts;

private:
    converter::ModemStatus answer_;
};

// Passes every call on to `inner` and counts it.
class CountingLines final : public converter::SerialLines {
public:
    explicit CountingLines(converter::SerialLines &inner) : inner_(inner) { }

    converter::PortHandle open(const std::string &name) override { return inner_.open(name); }
    void close() override { inner_.close(); }
    bool set_rts(bool asserted) override
    {
        ++counts.output_changes;
        return inner_.set_rts(asserted);
    }
    bool set_dtr(bool asserted) override
    {
        ++counts.output_changes;
        return inner_.set_dtr(asserted);
    }
    std::optional<converter::ModemStatus> modem_status() override
    {
        ++counts.status_queries;
        return inner_.modem_status();
    }

    LineCounts counts;

private:
    converter::SerialLines &inner_;
};

}  // namespace bench
