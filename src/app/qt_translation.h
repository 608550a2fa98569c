// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Qt's own texts (the file and print dialogs, the standard buttons, the text boxes' menu) in
// Japanese, as the rest of the window is, whatever language the system speaks.

#include <QString>

// Qt's Japanese translation: in the folder `translations` beside the program (where the Windows
// build puts it), or else in Qt's own folder of translations. Empty when neither holds it.
QString find_qt_translation(const QString &program_folder);

// Loads that translation into the application. False when there is none or it cannot be read;
// Qt's texts then stay in English.
bool install_qt_translation(const QString &program_folder);
