// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The name of the operating system's device for a port name the user gives. Plain C++, no Qt.

#include <string>

namespace converter {

// The device a port name stands for on this system, as messages name it. "COM1" is the first
// serial port's name on Windows; elsewhere "COMn" means the n-th built-in port (/dev/ttyS0 for COM1
// on Linux). Any other name is used as it stands.
std::string device_name(const std::string &port_name);

// The path that opens that device. On Windows a port is opened through the device namespace
// ("\\.\COM10"), the only way to reach ports above COM9; a name that already is such a path stays.
// Elsewhere the same as device_name.
std::string device_path(const std::string &port_name);

}  // namespace converter
