// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Between the window's measurement state and the record kept in a file: what the window saves,
// how a record read from a file becomes the window's measurement, and the caption of a print.

#include "analysis/strip_check.h"
#include "common/limits.h"
#include "storage/measurement_csv.h"
#include "storage/measurement_record.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

class Form1;
namespace common {
struct MeasurementState;
}

// Where the window's measurement came from: the source of its readings ("port" and its name, or
// "simulated" and the cart's settings) and when 計測 started, or what a file said of both. An
// invalid time when a file did not say.
struct MeasurementOrigin {
    QStringList source;
    QDateTime measured_at;
};

// The record of the window's measurement: the readings once something was measured; the sections
// and the boundaries once グラフ has run on them; the printed fit and its statistics while the fit is
// shown; the position fit of the points on the graph and the strip check, given `strip`, what グラフ
// found.
storage::MeasurementRecord record_of_window(const common::MeasurementState &state,
    const std::optional<analysis::StripAnalysis> &strip, const MeasurementOrigin &origin, const QDateTime &saved_at);

// The period in ms that the measurement was taken with, from its rate: the scroll bar may have
// been moved since.
std::int32_t measured_period_ms(const common::MeasurementState &state);

// The rate in a file is only a check on its period, and a spreadsheet that saved the file again
// may have dropped some of its digits (333.3333 for 333.333344): it need only be the period's rate
// to within this part of it. The rates of neighbouring periods, 1000 / p and 1000 / (p + 1), differ
// by 1 / (p + 1) of the larger, well above twice the tolerance, so every period stays apart.
inline constexpr double kRateTolerance = 1e-4;
static_assert(2 * kRateTolerance * (common::kLongestPeriodMs + 1) < 1);

// Puts a record read from a file into a measurement state as a finished 計測 would leave it: the
// period, the rate, the time, N and the readings, measured and no fit. A rate or an N that the
// period and the time would not give is refused, and nothing changes.
std::optional<storage::ReadFailure> put_into_state(common::MeasurementState &state, const storage::ReadResult &read);

// Puts a record read from a file into the window as put_into_state does; the settings show the
// file's period and time (and its holes per section, when it has them); the raw trace is drawn.
std::optional<storage::ReadFailure> put_into_window(Form1 &form, const storage::ReadResult &read);

// The line printed above the picture: the date, the period, the holes per section once グラフ has
// run, and while the fit is shown 初速度 and 加速度 as the window prints them and the position fit's
// acceleration with its standard error, given `strip`, what グラフ found.
QString print_caption(const common::MeasurementState &state, const std::optional<analysis::StripAnalysis> &strip,
    const QDateTime &printed_at);
