// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The command line of the program: which port the converter is on, or a simulated converter and
// the motion of its cart.

#include "converter/simulated_cart.h"
#include "converter/simulated_converter.h"

#include <QStringList>

#include <optional>
#include <string>
#include <vector>

struct AppOptions {
    std::string port_name = "COM1";
    bool simulate = false;
    converter::CartMotion cart;
    converter::SimulatedFaults faults;
    // Wait after each clock pulse, in microseconds, for adapters that report their lines late.
    std::int32_t settle_us = 0;
    // A saved measurement to open at start; empty for none.
    QString open_file;
    // A saved measurement to report on standard output instead of starting the window, with the
    // holes per section to take; empty for none.
    QString report_file;
    std::optional<std::int32_t> report_holes;
    // The accelerations that each 計測 of the simulated cart takes in turn (the cart's own first).
    std::vector<double> accelerations;
    // Where the lesson is kept; empty for the user's data folder.
    QString data_folder;
    // Readings from a board instead of the converter: on this port, or on the first USB serial port
    // on which a board answers for an empty name.
    std::optional<std::string> board;
};

// The arguments without Qt's own options and their values (-style fusion, --platform offscreen,
// -stylesheet=a.qss, -reverse...), which every Qt program accepts. Nothing after "--" is removed.
QStringList without_qt_options(const QStringList &arguments);

// Parses the arguments (the program name first), ignoring Qt's own options. Prints help, the version or an error and
// returns nothing when the program should not start; `exit_code` then says how it should end.
std::optional<AppOptions> parse_app_options(const QStringList &arguments, int &exit_code);

// True when the arguments ask for the help text or the version (Qt's own options aside).
bool asks_for_help_or_version(const QStringList &arguments);
// True when the arguments ask for a report instead of the window (Qt's own options aside).
bool asks_for_report(const QStringList &arguments);
