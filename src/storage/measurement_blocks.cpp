// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The blocks a measurement file may hold after its readings and tables.

#include "storage/csv_layout.h"
#include "storage/measurement_reader.h"

namespace storage::reading {

using namespace layout;

void Reader::read_blocks(MeasurementRecord &record)
{
    // The blocks that may follow the tables, each under its title and ended by an empty line, in
    // the order the writer puts them; a block is there or not. A block about the analysis comes
    // only with its tables.
    struct Block {
        const QString &title;
        bool needs_analysis;
        void (Reader::*read)(MeasurementRecord &);
    };
    const Block blocks[] = {
        {kFitTitle, true, &Reader::read_fit},
        {kPositionFitTitle, true, &Reader::read_position_fit},
        {kStripCheckTitle, true, &Reader::read_strip_check},
    };
    for (const Block &block : blocks) {
        if ((!block.needs_analysis || record.holes_per_section) && next_is(block.title))
            (this->*block.read)(record);
    }
}

void Reader::read_fit(MeasurementRecord &record)
{
    table_head(kFitTitle, kFitColumns);
    FitRecord fit;
    // A coefficient's row: its key, the text as printed, the float the window printed, the
    // double-precision value and, where there is one, its standard error.
    auto read_coefficient
        = [&](const QString &key, QString &text, float &printed, double &full, std::optional<double> &error) {
              const Line line = quantity(key, 4, 3);
              text = line.fields[1];
              printed = value<float>(line, 2);
              full = value<double>(line, 3);
              error = optional_value<double>(line, 4);
          };
    read_coefficient(kInitialVelocityKey, fit.initial_velocity_text, fit.initial_velocity, fit.statistics.intercept,
        fit.statistics.intercept_error);
    read_coefficient(
        kAccelerationKey, fit.acceleration_text, fit.acceleration, fit.statistics.slope, fit.statistics.slope_error);
    // r² and the number of points leave the printed text's column empty.
    const Line r2 = quantity(kRSquaredKey, 2, 0);
    if (!r2.fields.value(1).isEmpty())
        broken(r2);
    fit.statistics.r_squared = optional_value<double>(r2, 2);
    const Line points = quantity(kPointsKey, 2, 2);
    if (!points.fields[1].isEmpty())
        broken(points);
    fit.statistics.points = value<std::int32_t>(points, 2);
    blank();
    record.fit = fit;
}

void Reader::read_position_fit(MeasurementRecord &record)
{
    table_head(kPositionFitTitle, kPositionFitColumns);
    PositionFitRecord fit;
    const Line initial_velocity = quantity(kInitialVelocityKey, 2);
    fit.initial_velocity = value<double>(initial_velocity, 1);
    fit.initial_velocity_error = optional_value<double>(initial_velocity, 2);
    const Line acceleration = quantity(kAccelerationKey, 2);
    fit.acceleration = value<double>(acceleration, 1);
    fit.acceleration_error = optional_value<double>(acceleration, 2);
    fit.r_squared = value<double>(quantity(kRSquaredKey, 1), 1);
    fit.edges = value<std::int32_t>(quantity(kEdgesKey, 1), 1);
    blank();
    record.position_fit = fit;
}

void Reader::read_strip_check(MeasurementRecord &record)
{
    table_head(kStripCheckTitle, kStripCheckColumns);
    StripCheckRecord check;
    // Section numbers separated by single blanks; none leaves the field empty.
    auto read_sections = [&](const QString &key, std::vector<std::int32_t> &sections) {
        const Line line = quantity(key, 1, 0);
        if (line.fields.size() < 2)
            return;
        for (const QString &number : line.fields[1].split(QLatin1Char(' '))) {
            const std::optional<std::int32_t> k = number_of<std::int32_t>(number);
            if (!k || *k < 1)
                broken(line);
            sections.push_back(*k);
        }
    };
    read_sections(kMissedHolesKey, check.missed_hole_sections);
    read_sections(kExtraEdgesKey, check.extra_edge_sections);
    check.followable_speed_cm_s = optional_value<double>(quantity(kFollowableSpeedKey, 1, 0), 1);
    if (next_is(kCoarsePeriodKey))
        read_sections(kCoarsePeriodKey, check.coarse_period_sections);
    if (next_is(kTurnKey)) {
        const Line turn = quantity(kTurnKey, 1, 0);
        check.turn_section = optional_value<std::int32_t>(turn, 1);
        if (check.turn_section && *check.turn_section < 1)
            broken(turn);
    }
    if (next_is(kTornHolesKey))
        read_sections(kTornHolesKey, check.torn_hole_sections);
    blank();
    record.strip_check = check;
}

void Reader::read_edge_stamps(MeasurementRecord &record)
{
    table_head(kEdgeStampsTitle, kEdgeStampColumns);
    std::vector<common::EdgeStamp> edges;
    // Within the readings' time, in time order, rises and falls in turn, as the program keeps them.
    const std::int64_t last_us = std::int64_t(record.last_sample) * record.period_ms * 1000;
    table_rows(3, 0, [&](const Line &line) {
        const QString &kind = line.fields[1];
        const common::EdgeStamp edge{value<std::int64_t>(line, 2), same_key(kind, kRisingEdge)};
        if ((!edge.rising && !same_key(kind, kFallingEdge)) || edge.time_us < 0 || edge.time_us > last_us
            || (!edges.empty() && (edge.time_us < edges.back().time_us || edge.rising == edges.back().rising)))
            broken(line);
        edges.push_back(edge);
    });
    record.edge_stamps = std::move(edges);
}

}  // namespace storage::reading
