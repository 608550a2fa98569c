// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Opening and closing the port with the system's own calls: read and write access, no sharing, only
// a device that exists, no attributes. The lines need nothing else of the port: no speed, framing
// or time-outs are set.

#include "converter/real_port.h"

#include <windows.h>

namespace converter {

struct RealPortLines::Device { };

RealPortLines::RealPortLines() = default;

RealPortLines::~RealPortLines() { close(); }

PortHandle RealPortLines::open(const std::string &name)
{
    close();
    const std::string path = device_path(name);
    const HANDLE handle
        = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return kInvalidPort;
    handle_ = reinterpret_cast<PortHandle>(handle);
    return handle_;
}

void RealPortLines::close()
{
    if (handle_ != kInvalidPort)
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = kInvalidPort;
}

}  // namespace converter
