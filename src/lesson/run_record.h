// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Between a recording and the record a file keeps of it: the readings, the settings and where they
// came from one way, and a record read from a file back into a measurement state the other way,
// checked as a finished 計測 would have left it.

#include "common/limits.h"
#include "common/measurement_state.h"
#include "storage/measurement_csv.h"
#include "storage/measurement_record.h"

#include <QDateTime>
#include <QStringList>

#include <cstdint>
#include <optional>

// Where a measurement came from: the source of its readings ("port" and its name, or "simulated"
// and the cart's settings) and when 計測 started, or what a file said of both. An invalid time when
// a file did not say.
struct MeasurementOrigin {
    QStringList source;
    QDateTime measured_at;
};

// The period in ms that the measurement was taken with, from its rate: the scroll bar may have
// been moved since.
std::int32_t measured_period_ms(const common::Recording &recording);

// The rate in a file is only a check on its period, and a spreadsheet that saved the file again
// may have dropped some of its digits (333.3333 for 333.33334): it need only be the period's rate
// to within this part of it. The rates of neighbouring periods, 1000 / p and 1000 / (p + 1), differ
// by 1 / (p + 1) of the larger, well above twice the tolerance, so every period stays apart.
inline constexpr double kRateTolerance = 1e-4;
static_assert(2 * kRateTolerance * (common::kLongestPeriodMs + 1) < 1);

// The program's name and version as the files it writes record them.
QString program_name();
QString program_version();

// The record of a recording's readings, settings and origin, written by this program now; with
// `holes`, the holes per section it is analysed with.
storage::MeasurementRecord record_of_recording(const common::Recording &recording, const MeasurementOrigin &origin,
    const QDateTime &saved_at, std::optional<std::int32_t> holes = std::nullopt);

// Puts a record read from a file into a measurement state as a finished 計測 would leave it: the
// period, the rate, the time, N and the readings, measured and no fit. A rate or an N that the
// period and the time would not give is refused, and nothing changes.
std::optional<storage::ReadFailure> put_into_state(common::MeasurementState &state, const storage::ReadResult &read);
