#pragma once

// Between the window's measurement state and the record kept in a file: what the window saves,
// how a record read from a file becomes the window's measurement, and the caption of a print.

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
// shown. `source` says where the readings came from.
storage::MeasurementRecord record_of_window(
    const common::MeasurementState &state, const QStringList &source, const QDateTime &saved_at);

// The period in ms that the measurement was taken with, from its rate: the scroll bar may have
// been moved since.
std::int32_t measured_period_ms(const common::MeasurementState &state);

// Puts a record read from a file into the window as a finished 計測 would leave it: the period, the
// rate, the time, N and the readings, measured and no fit; the settings show the file's period and
// time (and its holes per section, when it has them); the raw trace is drawn. A rate or an N that
// the period and the time would not give is refused, and nothing changes.
std::optional<storage::ReadFailure> put_into_window(Form1 &form, const storage::ReadResult &read);

// The line printed above the picture: the date, the period, the holes per section once グラフ has
// run, and 初速度 and 加速度 as the window prints them while the fit is shown.
QString print_caption(const common::MeasurementState &state, const QDateTime &printed_at);
