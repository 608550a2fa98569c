// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "window_commands.h"

namespace window_commands {
namespace {

// The numbers of Windows's own headers, so that every system can check the rule.
constexpr std::uint32_t kSystemCommand = 0x0112;  // WM_SYSCOMMAND
constexpr std::uintptr_t kCommandMask = 0xFFF0;   // the low four bits say where the mouse was
constexpr std::uintptr_t kSize = 0xF000;          // SC_SIZE
constexpr std::uintptr_t kMove = 0xF010;          // SC_MOVE
constexpr std::uintptr_t kMouseMenu = 0xF090;     // SC_MOUSEMENU
constexpr std::uintptr_t kKeyMenu = 0xF100;       // SC_KEYMENU

}  // namespace

bool holds_the_pump(std::uint32_t message, std::uintptr_t parameter)
{
    if (message != kSystemCommand)
        return false;
    const std::uintptr_t command = parameter & kCommandMask;
    return command == kSize || command == kMove || command == kMouseMenu || command == kKeyMenu;
}

}  // namespace window_commands
