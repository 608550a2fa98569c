// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A private X display for driving the program as a person would: a virtual frame buffer with a
// window manager that frames windows with a title bar and a close box, and the command-line tools
// that find windows and move and click the pointer on it. Every process it starts ends with it, and
// also when the test process itself dies.

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

namespace e2e {

// Starts `process` so that it is ended when the process that started it ends, however that ends.
// A negative `niceness` asks for the processor ahead of other work, where the system allows it.
void start_tied_to_us(QProcess &process, const QString &program, const QStringList &arguments, int niceness = 0);

// Where a top-level window stands on the screen: its inside (the client area) and the frame the
// window manager put around it (left, right, top and bottom widths).
struct WindowPlace {
    QRect client;
    int frame_left = 0;
    int frame_right = 0;
    int frame_top = 0;
    int frame_bottom = 0;

    QRect frame() const { return client.adjusted(-frame_left, -frame_top, frame_right, frame_bottom); }
};

class XSession {
public:
    XSession();
    ~XSession();
    XSession(const XSession &) = delete;
    XSession &operator=(const XSession &) = delete;

    enum class Outcome { Ready, ToolMissing, Failed };
    // Starts the display and the window manager; when that cannot be done, says why.
    Outcome start(QString &why);
    void stop();

    QString display() const { return display_; }
    // The environment for a program that should show its windows on this display.
    QProcessEnvironment environment() const;
    // Points this process at the display, for an application created after this call.
    void use_for_this_process() const;

    // Runs one of the X tools to its end and returns what it printed, or nothing when it failed.
    std::optional<QString> run(const QString &tool, const QStringList &arguments) const;

    // The visible top-level windows of process `pid` whose title is exactly `title`.
    QList<qulonglong> windows_of(qint64 pid, const QString &title) const;
    std::optional<WindowPlace> place_of(qulonglong window) const;
    bool window_exists(qulonglong window) const;

    // Moves the pointer to a screen position and presses and releases its left button there.
    bool click_at(QPoint screen_position) const;
    bool press_key(const QString &key) const;
    // A screenshot of part of the screen.
    QImage grab(QRect area) const;

private:
    QTemporaryDir dir_;
    QProcess xvfb_;
    QProcess window_manager_;
    QString display_;
};

}  // namespace e2e
