// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "accuracy_run.h"

#include "acquisition/measurement.h"
#include "acquisition/qt_loop_host.h"
#include "analysis/least_squares.h"
#include "analysis/position_fit.h"
#include "analysis/sections.h"
#include "analysis/strip_check.h"
#include "bench_support.h"
#include "common/clock.h"
#include "common/measurement_plan.h"
#include "converter/converter.h"
#include "converter/simulated_converter.h"
#include "graph/draw_graph.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace bench {
namespace {

constexpr std::int16_t kMeasureSeconds = 1;

// Passes the time on and remembers the last value it gave: the simulated converter asks for the
// time only when the cart starts and at each conversion, so this is the conversion's instant.
class RecordingClock final : public common::Clock {
public:
    explicit RecordingClock(const common::Clock &inner) : inner_(inner) { }
    std::int64_t now_ns() const override
    {
        last_ns_ = inner_.now_ns();
        return last_ns_;
    }
    std::int64_t last_ns() const { return last_ns_; }

private:
    const common::Clock &inner_;
    mutable std::int64_t last_ns_ = 0;
};

}  // namespace

Recording record_ideal(const converter::CartMotion &motion, std::uint32_t noise_seed, std::int32_t period_ms,
    std::int64_t first_reading_ns)
{
    constexpr std::int64_t kCartStartNs = 1'000'000'000'000;
    common::FakeClock clock(kCartStartNs);
    converter::SimulatedConverter simulated(clock, motion, noise_seed);
    converter::LineConverter link(simulated);
    link.open_port("simulated");
    link.init_converter();

    Recording recording{motion, {}, {}, 0, 0};
    common::start_measurement(recording.state, static_cast<std::int16_t>(period_ms), kMeasureSeconds);
    for (std::int32_t i = 0; i <= recording.state.last_sample; ++i) {
        const std::int64_t offset_ns = first_reading_ns + static_cast<std::int64_t>(i) * period_ms * 1'000'000;
        clock.set_ns(kCartStartNs + offset_ns);
        recording.state.samples[static_cast<std::size_t>(i)] = link.read_converter(0);
        recording.sample_s.push_back(static_cast<double>(offset_ns) * 1e-9);
    }
    link.close_port();
    return recording;
}

Recording record_loop(const converter::CartMotion &motion, std::uint32_t noise_seed, std::int32_t period_ms)
{
    const common::SteadyClock clock;
    RecordingClock cart_clock(clock);
    converter::SimulatedConverter simulated(cart_clock, motion, noise_seed);
    acquisition::QtLoopHost host(clock);
    converter::LineConverter link(simulated);
    link.open_port("simulated");

    Recording recording{motion, {}, {}, 0, 0};
    common::start_measurement(recording.state, static_cast<std::int16_t>(period_ms), kMeasureSeconds);
    link.init_converter();
    std::vector<std::int64_t> start_ns;
    start_ns.reserve(static_cast<std::size_t>(recording.state.last_sample) + 2);
    auto read = [&] {
        start_ns.push_back(clock.now_ns());
        const std::int16_t reading = link.read_converter(0);
        recording.sample_s.push_back(static_cast<double>(cart_clock.last_ns() - simulated.start_ns()) * 1e-9);
        return reading;
    };
    const std::int64_t before_ns = clock.now_ns();
    acquisition::record_samples(recording.state, host, read);
    const std::int64_t start_tick = schedule_start_tick(before_ns, start_ns, period_ms);
    recording.first_deadline_ns = start_tick * 1'000'000 - simulated.start_ns();
    for (std::size_t i = 1; i < start_ns.size(); ++i) {
        const std::int64_t deadline_ns = (start_tick + static_cast<std::int64_t>(i) * period_ms) * 1'000'000;
        recording.max_lateness_ns = std::max(recording.max_lateness_ns, start_ns[i] - deadline_ns);
    }
    link.close_port();
    return recording;
}

std::optional<analysis::PositionFit> window_position_fit(
    const analysis::StripAnalysis &strip, const common::MeasurementState &state, float x_scale)
{
    return analysis::fit_positions(
        strip, std::max(state.plotted_sections, graph::boundaries_on_time_axis(state, x_scale)));
}

FitOutcome analyse_recording(Recording &recording, std::int16_t holes_per_section, graph::Surface &surface)
{
    common::MeasurementState &state = recording.state;
    // As on the first グラフ of a window: no earlier drawing has left a count of points behind.
    state.plotted_sections = 0;
    analysis::begin_graph(state, holes_per_section);
    analysis::analyse_sections(state);
    const analysis::StripAnalysis strip = analysis::analyse_strip(state);
    graph::draw_graph(surface, state, state.x_zoom, state.y_zoom, graph::LabelStyle::FirstDraw);

    FitOutcome outcome;
    const std::optional<analysis::LineFit> fit
        = analysis::fit_velocity_line(state.sect_time, state.sect_velocity, state.plotted_sections);
    const converter::SimulatedCart cart(recording.motion);
    const double first_edge_s = cart.time_at_position(cart.hole_trailing_edge_cm(0));
    const double accel = recording.motion.accel_cm_s2;
    const double true_v0 = cart.velocity_cm_s(first_edge_s);
    if (fit) {
        outcome.fitted = true;
        outcome.points = state.plotted_sections;
        outcome.accel_error = (fit->acceleration - accel) / accel;
        outcome.v0_error_cm_s = fit->initial_velocity - true_v0;
        if (const std::optional<analysis::PositionFit> position = window_position_fit(strip, state, state.x_zoom);
            position && position->acceleration_error) {
            outcome.position_fitted = true;
            outcome.position_accel_error = (position->acceleration - accel) / accel;
            outcome.position_accel_se = *position->acceleration_error / std::fabs(accel);
            outcome.position_v0_error_cm_s = position->initial_velocity - true_v0;
            outcome.position_edges = position->edges;
        }
    }

    // Which hole each edge belongs to: the last trailing edge the strip had passed when the edge's
    // reading was converted.
    std::vector<double> edge_s;
    for (int k = 0; k < cart.hole_count(); ++k) {
        const double t = cart.time_at_position(cart.hole_trailing_edge_cm(k));
        edge_s.push_back(t >= 0 ? t : std::numeric_limits<double>::infinity());
    }
    auto hole_of_sample = [&](std::int32_t sample) {
        const double t = recording.sample_s[std::min(static_cast<std::size_t>(sample), recording.sample_s.size() - 1)];
        return static_cast<std::int32_t>(std::upper_bound(edge_s.begin(), edge_s.end(), t) - edge_s.begin()) - 1;
    };
    auto hole_of_boundary
        = [&](std::int32_t j) { return hole_of_sample(state.edge_index[static_cast<std::size_t>(j)]); };
    if (state.edge_count >= 0) {
        outcome.first_edge_is_hole_0 = hole_of_boundary(0) == 0;
        const std::int32_t last = fit ? state.plotted_sections : state.edge_count;
        outcome.every_hole_seen = true;
        for (std::int32_t j = 0; j <= last; ++j)
            outcome.every_hole_seen = outcome.every_hole_seen && hole_of_boundary(j) == j * holes_per_section;
    }

    // The strip check against the truth over the graph's sections.
    outcome.check_raised = strip.check.found_something();
    outcome.missed_hole_found = !strip.check.missed_hole_sections.empty();
    outcome.extra_edge_found = !strip.check.extra_edge_sections.empty();
    if (state.edge_count >= 1) {
        outcome.has_sections = true;
        const std::int32_t first_sample = state.edge_index[0];
        const std::int32_t last_sample = state.edge_index[static_cast<std::size_t>(state.edge_count)];
        const std::int32_t first_hole = hole_of_sample(first_sample);
        const std::int32_t last_hole = hole_of_sample(last_sample);
        outcome.lost_a_hole = last_hole - first_hole > state.edge_count * holes_per_section;
        // Readings inside hole k and inside the bar behind it, for the holes and bars between the
        // two edges.
        const auto holes = static_cast<std::size_t>(std::max(0, last_hole - first_hole + 1));
        std::vector<int> in_hole(holes, 0), in_bar(holes, 0);
        for (std::int32_t i = first_sample; i < last_sample; ++i) {
            const double position = cart.position_cm(recording.sample_s[static_cast<std::size_t>(i)]);
            const auto k = static_cast<std::int32_t>(
                std::floor((position - converter::SimulatedCart::kFirstHoleCm) / common::kHolePitchCm));
            if (k < first_hole || k > last_hole)
                continue;
            ++(cart.hole_at(position) ? in_hole : in_bar)[static_cast<std::size_t>(k - first_hole)];
        }
        outcome.two_readings_each = true;
        for (std::size_t k = 0; k + 1 < holes; ++k)
            outcome.two_readings_each = outcome.two_readings_each && in_bar[k] >= 2 && in_hole[k + 1] >= 2;
    }
    return outcome;
}

}  // namespace bench
