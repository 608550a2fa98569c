// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/analysed_run.h"

#include "analysis/sections.h"

namespace analysis {

AnalysedRun analyse_run(const common::Recording &recording, std::int16_t holes)
{
    AnalysedRun run;
    run.state = std::make_unique<common::MeasurementState>();
    static_cast<common::Recording &>(*run.state) = recording;
    begin_graph(*run.state, holes);
    run.edges = analyse_sections(*run.state);
    run.strip = analyse_strip(*run.state);
    return run;
}

}  // namespace analysis
