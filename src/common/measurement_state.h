// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The record of one measurement and its analysis, shared by every command of the window: the
// recording, the sections グラフ made of it, and the view of its graph. The window's document owns
// one instance for its whole life; each command reads and writes its fields directly. All numbers
// start at zero; the window's load handler sets the zoom factors to 1.0.
//
// Types follow the program's number conventions: 32-bit floats where a value is stored as Single,
// 32-bit integers for counts and sample indices, 16-bit integers for converter readings.

#include <algorithm>
#include <cstdint>
#include <vector>

namespace common {

inline constexpr double kHolePitchCm = 1.268;  // distance between two holes of the strip
// A reading must fall below this many converter counts after a run at or above it to count as the
// trailing edge of a hole.
inline constexpr std::int16_t kEdgeThreshold = 125;
inline constexpr int kSampleTableSize = 100001;   // samples 0..100000
inline constexpr int kSectionTableSize = 201;     // sections 0..200; grows when a run has more
inline constexpr int kBoundaryTableSize = 20001;  // boundaries 0..20000; grows when a run has more

// An edge of the light as the board's own timer stamped it.
struct EdgeStamp {
    std::int64_t time_us = 0;  // after reading 0, on the board's clock
    bool rising = false;       // the light began: a hole's leading edge
    bool operator==(const EdgeStamp &) const = default;
};

// The edges a board stamped during a recording, beside its readings.
struct EdgeStamps {
    // The board stamps edges; with none in `edges` its timer saw none (its D8 not wired).
    bool stamped = false;
    // In time order, rises and falls in turn, within the readings' time.
    std::vector<EdgeStamp> edges;
    // Stamps left out: out of order, or a second rise (or fall) in a row.
    std::int32_t refused = 0;
    // The board could not send every edge it stamped (chatter at the threshold).
    bool lost = false;
};

// A recording: the readings of one measurement and how they were taken.
struct Recording {
    float sample_rate = 0;         // samples per second of the last measurement
    float meas_time = 0;           // s, measurement time of the last measurement
    std::int32_t last_sample = 0;  // N: the measurement holds samples 0..N
    std::vector<std::int16_t> samples = std::vector<std::int16_t>(kSampleTableSize, 0);  // readings -255..255
    std::int16_t period_ms = 0;                                                          // sampling period in ms
    bool measured = false;  // a measurement has been started
    EdgeStamps stamps;      // a board's own stamps of the edges; none for other converters
};

// Whether two recordings hold the same readings taken with the same period and time: one run,
// wherever it was read from.
inline bool same_readings(const Recording &a, const Recording &b)
{
    return a.period_ms == b.period_ms && a.last_sample == b.last_sample && a.meas_time == b.meas_time
        && a.last_sample >= 0 && static_cast<std::size_t>(a.last_sample) < a.samples.size()
        && static_cast<std::size_t>(b.last_sample) < b.samples.size()
        && std::equal(a.samples.begin(), a.samples.begin() + a.last_sample + 1, b.samples.begin());
}

// What グラフ works out of a recording: the sections and their boundaries.
struct SectionTables {
    std::int16_t holes_per_section = 0;  // holes per section of the last analysis
    // Section k >= 1: time of its middle in s, counted from the first counted edge; entry 0 unused.
    std::vector<float> sect_time = std::vector<float>(kSectionTableSize, 0.0f);
    // Section k >= 1: mean velocity in cm/s; entry 0 unused.
    std::vector<float> sect_velocity = std::vector<float>(kSectionTableSize, 0.0f);
    bool graphed = false;  // the graph command has run
    // After the analysis: the number of whole sections (-1 when no edge was found with 1 hole a section).
    std::int32_t edge_count = 0;
    // Entry j: sample index of the edge that closes j sections (entry 0: the first counted edge).
    std::vector<std::int32_t> edge_index = std::vector<std::int32_t>(kBoundaryTableSize, 0);
    std::vector<float> sect_dt = std::vector<float>(kBoundaryTableSize, 0.0f);  // s, duration of section k
    // Entry j: where the board stamped every boundary, the time in s from the first counted edge to
    // the edge that closes j sections, by the stamps; empty otherwise, the readings timing them.
    std::vector<double> edge_time_s;
    float section_length = 0;  // cm, holes_per_section x the hole pitch
};

// One run: a recording and what グラフ made of it. Several may exist at once.
struct Run : Recording, SectionTables { };

// How the window shows a run's graph.
struct GraphView {
    // Index of the last velocity point the latest drawing put inside the plot box; the fit uses 1..this.
    std::int32_t plotted_sections = 0;
    bool fit_shown = false;  // the fitted line is on the graph and follows the zoom
    float x_zoom = 0;        // horizontal scale factor of the graph
    float y_zoom = 0;        // vertical scale factor of the graph
};

// The run on screen with its view, as every command of the window reads and writes it.
struct MeasurementState : Run, GraphView { };

}  // namespace common
