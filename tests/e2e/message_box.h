// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The program's message boxes, seen from outside: a second window of the program under the main
// window's title, with a text and an OK button.

#include "program_window.h"
#include "x_session.h"

#include <QImage>
#include <QString>

#include <optional>

namespace e2e {

struct SeenMessageBox {
    qulonglong window = 0;
    WindowPlace place;
    QImage shot;  // its inside, once it shows the same text in two screenshots
};

// Waits up to `wait_ms` for a message box of the program to appear, be framed and settle.
std::optional<SeenMessageBox> wait_for_message_box(
    const XSession &session, const ProgramWindow &program, const QString &caption, int wait_ms = kWaitMs);

// Presses OK (Return, once a click beside the text has given the box the keyboard) and waits for
// the box to go.
bool dismiss_message_box(
    const XSession &session, const ProgramWindow &program, const QString &caption, const SeenMessageBox &box);

}  // namespace e2e
