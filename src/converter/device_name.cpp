// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "converter/device_name.h"

#ifndef _WIN32
#include <regex>
#endif

namespace converter {

std::string device_name(const std::string &port_name)
{
#ifdef _WIN32
    return port_name;
#else
    static const std::regex com_name(R"(COM([1-9][0-9]?))", std::regex::icase);
    std::smatch match;
    if (std::regex_match(port_name, match, com_name))
        return "/dev/ttyS" + std::to_string(std::stoi(match[1].str()) - 1);
    return port_name;
#endif
}

std::string device_path(const std::string &port_name)
{
#ifdef _WIN32
    if (port_name.rfind("\\\\.\\", 0) == 0 || port_name.rfind("\\\\?\\", 0) == 0)
        return port_name;
    return "\\\\.\\" + port_name;
#else
    return device_name(port_name);
#endif
}

}  // namespace converter
