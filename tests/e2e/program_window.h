// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The program under test, seen from outside: its process, its main window on the private display,
// clicks on the window's controls and screenshots of its picture. Waiting is always for something
// to appear on the screen, within a generous bound.

#include "machine_watch.h"
#include "x_session.h"

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace e2e {

// A generous bound for anything that takes well under a second on an idle machine.
constexpr int kWaitMs = 30'000;

// A file for whoever looks into a failure (the program's output, screenshots): beside the test
// program in the build tree, never in the folder the test was started from.
QString output_path(const QString &name);

// The program under test: the one built beside this test, unless UNDOU_E2E_PROGRAM names another.
// UNDOU_E2E_LAUNCHER, when set, is the program that starts it: Wine, for the program built for
// Windows.
QString program_under_test();
bool program_has_launcher();
// A path of this machine as the program under test takes it in its file dialog: under Wine, on
// drive Z:, which is the root folder.
QString path_for_program(const QString &path);

class ProgramWindow {
public:
    explicit ProgramWindow(XSession &session);
    ~ProgramWindow();
    ProgramWindow(const ProgramWindow &) = delete;
    ProgramWindow &operator=(const ProgramWindow &) = delete;

    // Starts the program and waits for its window titled `caption`: framed by the window manager,
    // settled in its place, and showing an empty white picture. Its output goes to `log_file`, and
    // its report of each recording's schedule to `log_file` with ".schedule" added.
    bool start(const QString &program, const QStringList &arguments, int niceness, const QString &caption,
        const QString &log_file, QString &why);
    // Ends the program if it still runs.
    void kill();

    QProcess &process() { return process_; }
    qint64 process_id() const { return process_id_; }
    qulonglong window() const { return window_; }
    const WindowPlace &place() const { return place_; }

    // Clicks the middle of a control given in window coordinates.
    bool click(QRect control) const;
    QImage grab_window() const { return session_.grab(place_.client); }
    QImage grab_picture() const;
    // Waits until the picture satisfies `ready` and then stays the same between two screenshots.
    std::optional<QImage> wait_for_picture(const std::function<bool(const QImage &)> &ready) const;
    // Clicks a control and waits for the picture to change and settle.
    std::optional<QImage> click_and_wait_for_change(QRect control) const;
    // Keeps a screenshot beside the test program for whoever looks into a failure.
    void keep_screenshot(const QImage &image, const QString &name) const;
    // The program's report of the schedule of its next recording not yet taken, once it has
    // written it; nothing when it does not within kWaitMs.
    std::optional<ScheduleReport> next_schedule_report();

private:
    XSession &session_;
    QProcess process_;
    qint64 process_id_ = 0;
    qulonglong window_ = 0;
    WindowPlace place_;
    QString schedule_log_;
    qsizetype reports_taken_ = 0;
};

}  // namespace e2e
