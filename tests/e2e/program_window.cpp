// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "program_window.h"

#include "picture_analysis.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>

namespace e2e {

QString output_path(const QString &name) { return QDir(QCoreApplication::applicationDirPath()).filePath(name); }

QString program_under_test()
{
    const QString named = qEnvironmentVariable("UNDOU_E2E_PROGRAM");
    return named.isEmpty() ? QStringLiteral(UNDOU_PROGRAM) : named;
}

bool program_has_launcher() { return !qEnvironmentVariable("UNDOU_E2E_LAUNCHER").isEmpty(); }

QString path_for_program(const QString &path)
{
    if (!program_has_launcher())
        return path;
    return QStringLiteral("Z:") + QDir::cleanPath(path).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

ProgramWindow::ProgramWindow(XSession &session) : session_(session) { }

ProgramWindow::~ProgramWindow() { kill(); }

bool ProgramWindow::start(const QString &program, const QStringList &arguments, int niceness, const QString &caption,
    const QString &log_file, QString &why)
{
    QProcessEnvironment environment = session_.environment();
    schedule_log_ = log_file + QStringLiteral(".schedule");
    QFile::remove(schedule_log_);
    reports_taken_ = 0;
    environment.insert(QStringLiteral("UNDOU_SCHEDULE_LOG"), path_for_program(schedule_log_));
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(log_file);
    const QString launcher = qEnvironmentVariable("UNDOU_E2E_LAUNCHER");
    if (launcher.isEmpty())
        start_tied_to_us(process_, program, arguments, niceness);
    else
        start_tied_to_us(process_, launcher, QStringList{program} + arguments, niceness);
    if (!process_.waitForStarted(kWaitMs)) {
        why = process_.errorString();
        return false;
    }
    process_id_ = process_.processId();

    std::optional<WindowPlace> last;
    const QDeadlineTimer deadline(kWaitMs);
    while (!deadline.hasExpired()) {
        QTest::qWait(100);
        const QList<qulonglong> windows = session_.windows_of(process_id_, caption);
        if (windows.size() != 1)
            continue;
        const std::optional<WindowPlace> place = session_.place_of(windows.front());
        if (!place)
            continue;
        const bool settled = last && last->client == place->client;
        last = place;
        if (!settled)
            continue;
        window_ = windows.front();
        place_ = *place;
        if (all_white(grab_picture()))
            return true;
    }
    why = QStringLiteral("no window \"%1\" with an empty white picture appeared (the program's output is in %2)")
              .arg(caption, log_file);
    return false;
}

void ProgramWindow::kill()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.kill();
    process_.waitForFinished(kWaitMs);
}

bool ProgramWindow::click(QRect control) const { return session_.click_at(place_.client.topLeft() + control.center()); }

QImage ProgramWindow::grab_picture() const { return picture_area(grab_window()); }

std::optional<QImage> ProgramWindow::wait_for_picture(const std::function<bool(const QImage &)> &ready) const
{
    const QDeadlineTimer deadline(kWaitMs);
    QImage previous;
    while (!deadline.hasExpired()) {
        const QImage picture = grab_picture();
        if (!picture.isNull() && ready(picture)) {
            if (picture == previous)
                return picture;
            previous = picture;
        } else {
            previous = QImage();
        }
        QTest::qWait(100);
    }
    keep_screenshot(grab_window(), QStringLiteral("timeout"));
    return std::nullopt;
}

std::optional<QImage> ProgramWindow::click_and_wait_for_change(QRect control) const
{
    const QImage before = grab_picture();
    if (!click(control))
        return std::nullopt;
    return wait_for_picture([&before](const QImage &picture) { return picture != before; });
}

void ProgramWindow::keep_screenshot(const QImage &image, const QString &name) const
{
    const QString path = output_path(QStringLiteral("e2e-%1.png").arg(name));
    if (image.save(path))
        qInfo("screenshot kept in %s", qPrintable(path));
}

std::optional<ScheduleReport> ProgramWindow::next_schedule_report()
{
    const QDeadlineTimer deadline(kWaitMs);
    while (!deadline.hasExpired()) {
        QFile log(schedule_log_);
        if (log.open(QIODevice::ReadOnly | QIODevice::Text)) {
            const QList<QByteArray> lines = log.readAll().split('\n');
            // The last entry is what follows the last line's end: empty once that line is whole.
            if (lines.size() - 1 > reports_taken_)
                return parse_schedule_report(QString::fromUtf8(lines[reports_taken_++]));
        }
        QTest::qWait(50);
    }
    return std::nullopt;
}

}  // namespace e2e
