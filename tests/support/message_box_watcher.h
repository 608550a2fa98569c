// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Answers the modal message boxes a test provokes: while it lives it presses OK on every message
// box that opens and records what the box showed.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace test_support {

struct SeenMessageBox {
    QString title;
    QString text;
    bool has_icon = false;
    QStringList buttons;
};

class MessageBoxWatcher : public QObject {
    Q_OBJECT
public:
    MessageBoxWatcher();
    QList<SeenMessageBox> seen;

private:
    void check();
    QTimer timer_;
};

}  // namespace test_support
