#pragma once

// The name of the operating system's device for a port name the user gives. Plain C++, no Qt.

#include <string>

namespace converter {

// The device a port name stands for on this system. "COM1" is the first serial port's name on
// Windows; elsewhere "COMn" means the n-th built-in port (/dev/ttyS0 for COM1 on Linux).
// Any other name is used as it stands.
std::string device_name(const std::string &port_name);

}  // namespace converter
