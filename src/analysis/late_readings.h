// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// What readings that came late do to the analysis. The analysis takes reading i to have been
// taken i periods after reading 0; a reading that started a period or more late was not, and a
// hole edge among such readings carries the computer's pause in its time, not the cart's.
//
// A reading counts as late by when it started. The pause that made it late may have begun during
// the reading before it, after that one started but before the converter read the sensor, so the
// value of the reading just before a late one may have come late as well: its time is not sure
// either.

#include "common/measurement_state.h"
#include "common/reading_span.h"

#include <cstdint>
#include <vector>

namespace analysis {

// The readings whose times are not sure after the late readings `late` (ascending spans): each
// late reading and the reading just before each span, in ascending spans that neither overlap nor
// touch.
std::vector<common::ReadingSpan> unsure_readings(const std::vector<common::ReadingSpan> &late);

// True when an edge at `reading` (a sample index; a half for bounces taken as one edge between two
// readings) lies on a reading of `unsure`, as unsure_readings gives them.
bool on_unsure_reading(const std::vector<common::ReadingSpan> &unsure, double reading);

// The sections of the section tables in `sections` (after analyse_sections: edge_count and
// edge_index) that the late readings `late` spoil, ascending, each once: section k is spoiled when
// a reading from its opening edge to its closing edge, both included (edge_index[k - 1] ..
// edge_index[k]), is unsure. A late reading spoils the section it lies in, both sections that share
// an edge on it, and the section whose closing edge lies on the reading just before it.
std::vector<std::int32_t> spoiled_sections(
    const common::SectionTables &sections, const std::vector<common::ReadingSpan> &late);

}  // namespace analysis
