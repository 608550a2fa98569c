// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "acquisition/schedule_check.h"

#include "common/limits.h"
#include "common/measurement_state.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace acquisition {
namespace {

constexpr double kNsPerMs = 1e6;

// The value below which `fraction` of the values lie (nearest rank).
std::int64_t percentile(std::vector<std::int64_t> values, double fraction)
{
    if (values.empty())
        return 0;
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    const std::size_t index = std::clamp<std::size_t>(rank, 1, values.size()) - 1;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index), values.end());
    return values[index];
}

// True when reading i is the first below the edge threshold after one at or above it: where the
// analysis may place a hole edge.
bool crosses_threshold(const std::vector<std::int16_t> &samples, std::size_t i)
{
    return i >= 1 && i < samples.size() && samples[i - 1] >= common::kEdgeThreshold
        && samples[i] < common::kEdgeThreshold;
}

bool light(const std::vector<std::int16_t> &samples, std::size_t i) { return samples[i] >= common::kEdgeThreshold; }

// True when the pause before reading i, `lateness_ns` long, may have hidden a whole hole or bar:
// readings i - 1 and i see the same, and the time between them, a period and the lateness, was as
// long as a run of the other kind next to them took, so that one like it could have passed
// between the two.
bool may_hide_a_run(const std::vector<std::int16_t> &samples, std::size_t i, std::int64_t lateness_ns,
    std::int64_t period_ns, std::size_t readings)
{
    if (i < 1 || i >= readings || light(samples, i - 1) != light(samples, i))
        return false;
    const bool kind = light(samples, i);
    // The run of the other kind before reading i - 1, and the one after reading i.
    std::size_t start = i - 1;
    while (start > 0 && light(samples, start - 1) == kind)
        --start;
    std::size_t end = i;
    while (end + 1 < readings && light(samples, end + 1) == kind)
        ++end;
    std::int64_t shortest = -1;
    auto other_run = [&](std::size_t from, int step) {
        // A run that the recording cuts off tells nothing.
        std::size_t k = from;
        std::int64_t length = 0;
        while (light(samples, k) != kind) {
            ++length;
            if ((step < 0 && k == 0) || (step > 0 && k + 1 >= readings))
                return;
            k = step < 0 ? k - 1 : k + 1;
        }
        shortest = shortest < 0 ? length : std::min(shortest, length);
    };
    if (start > 0)
        other_run(start - 1, -1);
    if (end + 1 < readings)
        other_run(end + 1, +1);
    return shortest > 0 && period_ns + lateness_ns >= shortest * period_ns;
}

}  // namespace

std::int32_t shortest_period_ms(const std::vector<std::int64_t> &reading_ns)
{
    const double slow_ms = static_cast<double>(percentile(reading_ns, 0.99)) / kNsPerMs;
    const double period = std::ceil(slow_ms * 1.1);
    return static_cast<std::int32_t>(
        std::clamp(period, double{common::kShortestPeriodMs}, double{common::kLongestPeriodMs}));
}

std::vector<common::ReadingSpan> late_readings(
    const ScheduleRecord &record, std::int32_t period_ms, std::int32_t last_sample)
{
    const std::int64_t period_ns = static_cast<std::int64_t>(period_ms) * 1'000'000;
    const std::size_t readings = std::min(
        {record.lateness_ns.size(), record.reading_ns.size(), static_cast<std::size_t>(std::max(last_sample, -1) + 1)});
    std::vector<common::ReadingSpan> spans;
    for (std::size_t i = 0; i < readings; ++i) {
        if (record.lateness_ns[i] < period_ns)
            continue;
        const auto index = static_cast<std::int32_t>(i);
        if (!spans.empty() && spans.back().last + 1 == index)
            spans.back().last = index;
        else
            spans.push_back({index, index});
    }
    return spans;
}

std::optional<ScheduleMiss> check_schedule(const ScheduleRecord &record, std::int32_t period_ms,
    const std::vector<std::int16_t> &samples, std::int32_t last_sample)
{
    const std::int64_t period_ns = static_cast<std::int64_t>(period_ms) * 1'000'000;
    const std::size_t readings
        = std::min({record.lateness_ns.size(), record.reading_ns.size(), static_cast<std::size_t>(last_sample) + 1});
    bool late = false;
    bool late_at_edge = false;
    std::int64_t worst_ns = 0;
    for (std::size_t i = 0; i < readings; ++i) {
        const std::int64_t lateness = record.lateness_ns[i];
        worst_ns = std::max(worst_ns, lateness);
        if (lateness >= period_ns) {
            late = true;
            late_at_edge = late_at_edge || crosses_threshold(samples, i)
                || may_hide_a_run(samples, i, lateness, period_ns, readings);
        }
    }
    if (!late)
        return std::nullopt;

    ScheduleMiss miss;
    const std::vector<std::int64_t> taken(record.reading_ns.begin(), record.reading_ns.begin() + readings);
    const std::int64_t typical_ns = percentile(taken, 0.5);
    miss.typical_reading_ms = static_cast<double>(typical_ns) / kNsPerMs;
    miss.worst_lateness_ms = static_cast<double>(worst_ns) / kNsPerMs;
    miss.shortest_period_ms = shortest_period_ms(taken);
    miss.late_readings = late_readings(record, period_ms, last_sample);
    // Readings that often take a period or more can never be caught up with, however short the
    // pauses of the computer: the period is too short for them.
    if (percentile(taken, 0.99) >= period_ns) {
        miss.cause = ScheduleMiss::Cause::SlowReadings;
        return miss;
    }
    if (!late_at_edge)
        return std::nullopt;
    miss.cause = ScheduleMiss::Cause::Pause;
    return miss;
}

std::string schedule_report(const ScheduleRecord &record, std::int32_t period_ms,
    const std::vector<std::int16_t> &samples, std::int32_t last_sample, std::int64_t clock_now_ns,
    std::int64_t calendar_now_ms)
{
    const std::size_t readings = std::min(
        {record.lateness_ns.size(), record.started_ns.size(), static_cast<std::size_t>(std::max(last_sample, -1) + 1)});
    const std::int64_t period_ns = static_cast<std::int64_t>(period_ms) * 1'000'000;
    std::vector<std::size_t> late;
    std::int64_t worst_ns = 0;
    std::size_t late_at_edge = 0;
    for (std::size_t i = 0; i < readings; ++i) {
        const std::int64_t lateness = record.lateness_ns[i];
        worst_ns = std::max(worst_ns, lateness);
        if (2 * lateness >= period_ns)
            late.push_back(i);
        if (lateness >= period_ns && crosses_threshold(samples, i))
            ++late_at_edge;
    }
    const auto whole_period_late = static_cast<std::size_t>(
        std::count_if(late.begin(), late.end(), [&](std::size_t i) { return record.lateness_ns[i] >= period_ns; }));
    std::stable_sort(late.begin(), late.end(),
        [&](std::size_t a, std::size_t b) { return record.lateness_ns[a] > record.lateness_ns[b]; });
    late.resize(std::min(late.size(), kReportedLateReadings));

    const std::optional<ScheduleMiss> miss = check_schedule(record, period_ms, samples, last_sample);
    const char *verdict = !miss ? "held" : miss->cause == ScheduleMiss::Cause::Pause ? "paused" : "slow";
    auto ms = [](std::int64_t ns) { return static_cast<double>(ns) / kNsPerMs; };
    char text[160];
    std::snprintf(text, sizeof text,
        "schedule period_ms=%d readings=%zu verdict=%s worst_late_ms=%.3f late=%zu late_at_edge=%zu",
        static_cast<int>(period_ms), readings, verdict, ms(worst_ns), whole_period_late, late_at_edge);
    std::string report = text;
    for (const std::size_t i : late) {
        const std::int64_t at_ms = calendar_now_ms - (clock_now_ns - record.started_ns[i]) / 1'000'000;
        const std::int64_t woken_late = i < record.woken_late_ns.size() ? record.woken_late_ns[i] : 0;
        std::snprintf(text, sizeof text, " | late i=%zu late_ms=%.3f woke_ms=%.3f edge=%d at_ms=%lld", i,
            ms(record.lateness_ns[i]), ms(woken_late), crosses_threshold(samples, i) ? 1 : 0,
            static_cast<long long>(at_ms));
        report += text;
    }
    return report;
}

}  // namespace acquisition
