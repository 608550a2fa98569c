// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The window commands of Windows that run a loop of the system's own inside the event pump until
// the user lets go: moving or sizing the window by its frame, and its system menu. During such a
// loop the pump does not come back to a sampling loop that called it, so no reading is taken.

#include <cstdint>

namespace window_commands {

// True for a window message (its number and first parameter) that starts such a loop.
bool holds_the_pump(std::uint32_t message, std::uintptr_t parameter);

}  // namespace window_commands
