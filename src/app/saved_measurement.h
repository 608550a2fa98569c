// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Between the window's measurement state and the record kept in a file: what the window saves,
// how a record read from a file becomes the window's measurement, and the caption of a print.

#include "analysis/strip_check.h"
#include "lesson/run_record.h"
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

// The record of the window's measurement: the readings once something was measured; the sections
// and the boundaries once グラフ has run on them; the printed fit and its statistics while the fit is
// shown; the position fit of the points on the graph and the strip check, given `strip`, what グラフ
// found.
storage::MeasurementRecord record_of_window(const common::MeasurementState &state,
    const std::optional<analysis::StripAnalysis> &strip, const MeasurementOrigin &origin, const QDateTime &saved_at);

// Puts a record read from a file into the window as put_into_state does, with the readings that
// came late; the settings show the file's period and time (and its holes per section, when it has
// them); the raw trace is drawn.
std::optional<storage::ReadFailure> put_into_window(Form1 &form, const storage::ReadResult &read);

// The line printed above the picture: the date, the period, the holes per section once グラフ has
// run, and while the fit is shown 初速度 and 加速度 as the window prints them and the position fit's
// acceleration with its standard error, given `strip`, what グラフ found.
QString print_caption(const common::MeasurementState &state, const std::optional<analysis::StripAnalysis> &strip,
    const QDateTime &printed_at);
