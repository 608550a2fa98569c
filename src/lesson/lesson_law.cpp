// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lesson/lesson.h"

#include <cmath>

namespace {

// An error below this is the rounding of a fit through edges with no scatter at all (a recording
// made up, or a strip read exactly on its readings' grid), not a measurement's: the readings' grid
// alone gives errors of thousandths of a cm/s². Weighted by it, one such run would outweigh every
// other by twenty orders of magnitude.
constexpr double kLeastError_cm_s2 = 1e-9;

}  // namespace

LessonLaw Lesson::law() const
{
    LessonLaw law;
    std::map<LawExclusion, std::vector<std::size_t>> left_out;
    for (std::size_t k = 0; k < runs_.size(); ++k) {
        const std::optional<double> &value = runs_[k].value;
        if (!value) {
            left_out[LawExclusion::NoValue].push_back(k);
            continue;
        }
        if (settings_.inverse && *value == 0) {
            left_out[LawExclusion::ZeroUnderInverse].push_back(k);
            continue;
        }
        const std::optional<analysis::PositionFit> &fit = row(k).position_fit;
        if (!fit) {
            left_out[LawExclusion::NoPositionFit].push_back(k);
            continue;
        }
        // A run weighted by 1 / se² needs an error that is there, of a measurement and finite: the
        // line would otherwise leave it out without a word, or follow it alone.
        if (!fit->acceleration_error || !(*fit->acceleration_error >= kLeastError_cm_s2)
            || !std::isfinite(*fit->acceleration_error)) {
            left_out[LawExclusion::NoStandardError].push_back(k);
            continue;
        }
        law.points.push_back({settings_.inverse ? 1.0 / *value : *value, fit->acceleration, *fit->acceleration_error});
        law.runs.push_back(k);
    }
    for (auto &[why, runs] : left_out)
        law.left_out.emplace_back(why, std::move(runs));
    law.line = analysis::fit_lesson_line(law.points, settings_.through_origin);
    if (!law.line)
        law.gap = law.points.size() < 2 ? LawGap::TooFewRuns : LawGap::ValuesAlike;
    return law;
}
