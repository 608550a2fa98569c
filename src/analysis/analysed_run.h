// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A recording analysed as グラフ analyses it, apart from any window: its sections with a number of
// holes each, and what the strip check finds in them.

#include "analysis/strip_check.h"
#include "common/measurement_state.h"

#include <cstdint>
#include <memory>

namespace analysis {

struct AnalysedRun {
    std::unique_ptr<common::MeasurementState> state;  // the recording with its section tables
    StripAnalysis strip;
    std::int32_t edges = 0;  // the edges found
};

AnalysedRun analyse_run(const common::Recording &recording, std::int16_t holes);

}  // namespace analysis
