// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "recording_lines.h"

namespace converter {

PortHandle RecordingLines::open(const std::string &name)
{
    log.push_back(LineOp::Open);
    opened_names.push_back(name);
    if (fail_open)
        return kInvalidPort;
    is_open = true;
    return next_handle_++;
}

void RecordingLines::close()
{
    log.push_back(LineOp::Close);
    is_open = false;
}

bool RecordingLines::set_rts(bool asserted)
{
    log.push_back(asserted ? LineOp::SetRts : LineOp::ClearRts);
    return is_open && !fail_lines;
}

bool RecordingLines::set_dtr(bool asserted)
{
    log.push_back(asserted ? LineOp::SetDtr : LineOp::ClearDtr);
    if (!is_open || fail_lines)
        return false;
    dtr_asserted = asserted;
    return true;
}

std::optional<ModemStatus> RecordingLines::modem_status()
{
    log.push_back(LineOp::QueryStatus);
    dtr_at_query.push_back(dtr_asserted);
    if (!is_open || fail_lines)
        return std::nullopt;
    if (answers.empty())
        return idle_answer;
    const ModemStatus answer = answers.front();
    answers.pop_front();
    return answer;
}

}  // namespace converter
