// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// One measurement as it is kept in a file: what was measured and how, the readings, and, when the
// window had them, the section tables and the fitted line. Every value is the one the program used.

#include "common/fit_statistics.h"
#include "common/measurement_state.h"
#include "common/reading_span.h"
#include "common/time_range.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace storage {

struct SectionRow {
    float mid_time_s = 0;     // time of the section's middle, counted from the first counted edge
    float duration_s = 0;     // time the section took to pass the sensor
    float velocity_cm_s = 0;  // mean velocity over the section
};

struct BoundaryRow {
    double time_s = 0;       // from the first counted edge
    double distance_cm = 0;  // strip moved since the first counted edge
};

struct FitRecord {
    float initial_velocity = 0;        // cm/s, the window's single-precision fit
    float acceleration = 0;            // cm/s²
    QString initial_velocity_text;     // as printed under the graph ("20cm/s")
    QString acceleration_text;         // as printed under the graph ("60.1cm/ss")
    common::FitStatistics statistics;  // the same points in double precision
};

// The fit of the hole edges' positions against their times, with standard errors.
struct PositionFitRecord {
    double initial_velocity = 0;  // cm/s
    std::optional<double> initial_velocity_error;
    double acceleration = 0;  // cm/s²
    std::optional<double> acceleration_error;
    double r_squared = 0;
    std::int32_t edges = 0;  // edges fitted
};

// What the check of the strip's hole spacing found, by section number.
struct StripCheckRecord {
    std::vector<std::int32_t> missed_hole_sections;
    std::vector<std::int32_t> extra_edge_sections;
    std::optional<double> followable_speed_cm_s;  // the fastest speed the period follows
    // Holes or bars seen by a single reading; where the cart stopped, turned or bounced; where the
    // strip itself lacks holes. Files of earlier versions have none of these rows.
    std::vector<std::int32_t> coarse_period_sections;
    std::optional<std::int32_t> turn_section;
    std::vector<std::int32_t> torn_hole_sections;
};

struct MeasurementRecord {
    QString program_name;
    QString program_version;
    QDateTime saved_at;
    // When 計測 started; invalid for a file that does not say.
    QDateTime measured_at;
    // Where the readings came from: "port" and its name, or "simulated" and the cart's settings as
    // name and value pairs.
    QStringList source;
    std::int32_t period_ms = 0;
    float meas_time_s = 0;
    float sample_rate = 0;
    std::int32_t last_sample = 0;       // N: readings 0..N
    std::vector<std::int16_t> samples;  // N + 1 readings, -255..255
    // The readings that started a period or more late, when the run missed its schedule: ascending
    // spans within 0..N that neither overlap nor run backwards. Empty when it kept it.
    std::vector<common::ReadingSpan> late_readings;
    // A board's own stamps of the edges, in time order, rises and falls in turn, within 0..N
    // periods; none when the readings came without them.
    std::optional<std::vector<common::EdgeStamp>> edge_stamps;
    // Present once グラフ has run on these readings.
    std::optional<std::int32_t> holes_per_section;
    // Present when the student chose a part of the run; it ends no later than N / sample_rate s.
    std::optional<common::TimeRange> range;
    std::vector<SectionRow> sections;     // sections 1..; empty before グラフ
    std::vector<BoundaryRow> boundaries;  // boundaries 0..; empty before グラフ
    std::optional<FitRecord> fit;         // present while the fit is shown
    // Present once グラフ has run, the position fit when it is determined. A file's own are only
    // read: the window works them out again from the readings.
    std::optional<PositionFitRecord> position_fit;
    std::optional<StripCheckRecord> strip_check;
};

}  // namespace storage
