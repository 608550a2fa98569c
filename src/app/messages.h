// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Every text the window tells the user in a message box, in one place, so that they all read
// alike and a test can check them in one table. The window shows them with show_message: the
// text, an OK button, no icon, under the window's title.

#include "analysis/position_fit.h"
#include "analysis/strip_check.h"
#include "lesson/lesson.h"
#include "lesson/lesson_store.h"
#include "storage/file_io.h"
#include "storage/measurement_csv.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace messages {

// グラフ before any measurement.
QString measure_first();
// 最小２乗法 without a graph of the measurement on screen.
QString graph_first();
// A number of holes per section that is not a whole number in the accepted range.
QString holes_per_section_refused();
// The port could not be opened; `device` is the system's name of it (/dev/ttyS0, COM3).
QString port_cannot_open(const QString &device);
// Line operations on the open port failed: a cable pulled out, or a port without modem lines.
QString port_lost(const QString &device);
// The converter did not answer the pulses that prepare it.
QString converter_silent();
// No board answered its greeting on `device`, or on any USB serial port for an empty name.
QString board_not_found(const QString &device);
// A board answered with firmware `found`; the program speaks to `wanted`.
QString board_other_firmware(const QString &found, const QString &wanted);
// A reading of the board did not come in its place, or came garbled by noise on the line: in a
// measurement, the one `at_s` seconds into it (the readings before it are kept); in the live view,
// none given.
QString board_reading_lost(std::optional<double> at_s, bool noise);
// The board stopped sending in the middle of a run.
QString board_silent();
// The board could not send its readings as fast as it took them.
QString board_overflow(std::int32_t period_ms);
// The results view of a run on a board whose clock has not been measured yet.
QString board_clock_uncorrected();
// A board that stamps edges stamped none while its readings crossed the threshold: its D8 is not
// wired, and the edges come from the readings.
QString board_edges_unwired();
// The board could not send every edge it stamped: the light chattered at the pin's threshold.
QString board_edges_lost();
// `refused` stamps came out of order, or a second rise or fall in a row, and were left out.
QString board_edges_refused(std::int32_t refused);
// The readings took a period or more: `reading_ms` is the typical time of one reading,
// `shortest_period_ms` the shortest period that would have held.
QString schedule_too_short(std::int32_t period_ms, double reading_ms, std::int32_t shortest_period_ms);
// The computer paused the program at a hole edge; `worst_ms` is the latest a reading came.
QString schedule_paused(double worst_ms);
// グラフ found no hole edge at all in the measurement.
QString no_hole_edges();
// 最小２乗法 with fewer than two velocity points in the plot box.
QString fit_needs_two_points();
// A file (the data or the picture) could not be written to `path`: the reason in Japanese, or the
// system's own words for one without a name here; and, when there was a file at `path` before,
// that it is still there as it was.
QString file_cannot_save(const QString &path, const storage::SaveFailure &failure);
// A measurement file was not opened, with the line that showed why; nothing was changed.
QString file_cannot_open(const QString &path, const storage::ReadFailure &failure);
// The same for a report of the file, which has no window to leave as it was.
QString file_cannot_report(const QString &path, const storage::ReadFailure &failure);
// The printer refused the page.
QString cannot_print();
// What the strip check of グラフ found, where (section numbers) and what to do, in one text; the
// window shows it only when check.found_something().
QString strip_check_found(const analysis::StripCheck &check);
// What グラフ found, in one text: first the sections that readings which came late spoiled
// (`spoiled_sections`, ascending, as analysis::spoiled_sections gives them), the strip check's
// findings in them put down to the computer's pause; then what strip_check_found says of the other
// sections. Without spoiled sections, exactly strip_check_found(check); the window shows it when
// either has something to say.
QString graph_findings(const analysis::StripCheck &check, const std::vector<std::int32_t> &spoiled_sections);
// Why the results view has no position fit to show.
QString position_fit_refused(analysis::PositionFitRefusal why);
// The strip check of グラフ found nothing (the results view says so).
QString strip_check_clean();
// The results view before グラフ has run on the measurement.
QString results_wait_for_graph();
// The lesson kept in the data folder was brought back at the start, with `runs` runs.
QString lesson_brought_back(int runs);
// The kept lesson could not be read at the start: it was set aside at `path`, and a new one begun.
QString lesson_set_aside(const QString &path);
// The lesson could not be kept in its folder; it goes on in memory.
QString lesson_cannot_keep(const QString &folder, const storage::SaveFailure &failure);
// A lesson file's run refuses its own settings (its rate or N is not what its period and time give).
QString lesson_run_refused(const QString &path, int run);
// The lesson holds as many runs as it can; the run or the runs of a file to add were not added.
QString lesson_full(int most_runs);
// Why the law leaves out the runs `runs` ("2、5").
QString law_leaves_out(LawExclusion why, const QString &runs);
// Why the law has no line.
QString law_has_no_line(LawGap gap);
// What the lesson's keeper found, in one line.
QString keeper_note(const KeeperNote &note);

// Section numbers as the text names them: "12, 13", runs of three or more as "14〜20".
QString section_list(const std::vector<std::int32_t> &sections);

}  // namespace messages
