#include "accuracy_run.h"

#include "acquisition/measurement.h"
#include "acquisition/qt_loop_host.h"
#include "analysis/least_squares.h"
#include "analysis/sections.h"
#include "bench_support.h"
#include "common/clock.h"
#include "converter/converter.h"
#include "converter/simulated_converter.h"
#include "graph/draw_graph.h"

#include <algorithm>
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

void release_lines()
{
    static converter::NoLines no_lines;
    converter::use_lines(no_lines);
}

}  // namespace

Recording record_ideal(const converter::CartMotion &motion, std::uint32_t noise_seed, std::int32_t period_ms,
    std::int64_t first_reading_ns)
{
    constexpr std::int64_t kCartStartNs = 1'000'000'000'000;
    common::FakeClock clock(kCartStartNs);
    converter::SimulatedConverter simulated(clock, motion, noise_seed);
    converter::use_lines(simulated);
    converter::open_port("simulated");
    converter::init_converter();

    Recording recording{motion, {}, {}, 0, 0};
    acquisition::start_measurement(recording.state, static_cast<std::int16_t>(period_ms), kMeasureSeconds);
    for (std::int32_t i = 0; i <= recording.state.last_sample; ++i) {
        const std::int64_t offset_ns = first_reading_ns + static_cast<std::int64_t>(i) * period_ms * 1'000'000;
        clock.set_ns(kCartStartNs + offset_ns);
        recording.state.samples[static_cast<std::size_t>(i)] = converter::read_converter(0);
        recording.sample_s.push_back(static_cast<double>(offset_ns) * 1e-9);
    }
    converter::close_port();
    release_lines();
    return recording;
}

Recording record_loop(const converter::CartMotion &motion, std::uint32_t noise_seed, std::int32_t period_ms)
{
    const common::SteadyClock clock;
    RecordingClock cart_clock(clock);
    converter::SimulatedConverter simulated(cart_clock, motion, noise_seed);
    acquisition::QtLoopHost host(clock);
    converter::use_lines(simulated);
    converter::open_port("simulated");

    Recording recording{motion, {}, {}, 0, 0};
    acquisition::start_measurement(recording.state, static_cast<std::int16_t>(period_ms), kMeasureSeconds);
    converter::init_converter();
    std::vector<std::int64_t> start_ns;
    start_ns.reserve(static_cast<std::size_t>(recording.state.last_sample) + 2);
    auto read = [&] {
        start_ns.push_back(clock.now_ns());
        const std::int16_t reading = converter::read_converter(0);
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
    converter::close_port();
    release_lines();
    return recording;
}

FitOutcome analyse_recording(Recording &recording, std::int16_t holes_per_section, graph::Surface &surface)
{
    common::MeasurementState &state = recording.state;
    // As on the first グラフ of a window: no earlier drawing has left a count of points behind.
    state.plotted_sections = 0;
    analysis::begin_graph(state, holes_per_section);
    analysis::analyse_sections(state);
    graph::draw_graph(surface, state, state.x_zoom, state.y_zoom, graph::LabelStyle::FirstDraw);

    FitOutcome outcome;
    const std::optional<analysis::LineFit> fit
        = analysis::fit_velocity_line(state.sect_time, state.sect_velocity, state.plotted_sections);
    const converter::SimulatedCart cart(recording.motion);
    const double first_edge_s = cart.time_at_position(cart.hole_trailing_edge_cm(0));
    if (fit) {
        outcome.fitted = true;
        outcome.points = state.plotted_sections;
        const double accel = recording.motion.accel_cm_s2;
        outcome.accel_error = (fit->acceleration - accel) / accel;
        outcome.v0_error_cm_s = fit->initial_velocity - cart.velocity_cm_s(first_edge_s);
    }

    // Which hole each boundary belongs to: the last trailing edge the strip had passed when the
    // boundary's reading was converted.
    std::vector<double> edge_s;
    for (int k = 0; k < cart.hole_count(); ++k) {
        const double t = cart.time_at_position(cart.hole_trailing_edge_cm(k));
        edge_s.push_back(t >= 0 ? t : std::numeric_limits<double>::infinity());
    }
    auto hole_of_boundary = [&](std::int32_t j) {
        const auto sample = static_cast<std::size_t>(state.edge_index[static_cast<std::size_t>(j)]);
        const double t = recording.sample_s[std::min(sample, recording.sample_s.size() - 1)];
        return static_cast<std::int32_t>(std::upper_bound(edge_s.begin(), edge_s.end(), t) - edge_s.begin()) - 1;
    };
    if (state.edge_count >= 0) {
        outcome.first_edge_is_hole_0 = hole_of_boundary(0) == 0;
        const std::int32_t last = fit ? state.plotted_sections : state.edge_count;
        outcome.every_hole_seen = true;
        for (std::int32_t j = 0; j <= last; ++j)
            outcome.every_hole_seen = outcome.every_hole_seen && hole_of_boundary(j) == j * holes_per_section;
    }
    return outcome;
}

}  // namespace bench
