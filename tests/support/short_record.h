// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The shortest measurement the window makes, as the file tests build it: 100 ms for 1 s, 10
// readings a second, N = 10, readings 0..10, measured at the port COM1.

#include "storage/measurement_record.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <cstdint>
#include <vector>

namespace test_support {

inline storage::MeasurementRecord short_record(const std::vector<std::int16_t> &samples)
{
    storage::MeasurementRecord record;
    record.program_name = QStringLiteral("undou-kaiseki");
    record.program_version = QStringLiteral("1.0.0");
    record.saved_at = QDateTime(QDate(2026, 12, 7), QTime(15, 30, 12));
    record.source = {QStringLiteral("port"), QStringLiteral("COM1")};
    record.period_ms = 100;
    record.meas_time_s = 1;
    record.sample_rate = 10;
    record.last_sample = 10;
    record.samples = samples;
    return record;
}

}  // namespace test_support
